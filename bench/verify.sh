#!/usr/bin/env bash
# Times --verify: reading and indexing a DAT of 300,000 entries (about 100 MB)
# with its peak memory, and a collection of 2,000 files (1.07 GiB) verified
# plain against --catalog of it and zipped (one archive per file, Debian's
# zip) against plain; page cache warm. Replaces the "Verification" section
# of bench/RESULTS.md.
#   bench/verify.sh [runs]        (needs hyperfine and zip)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
root=$PWD
# These figures are of the reading and hashing: no digest cache (bench/cache.sh
# times that).
export QUILLON_CACHE_DIR=/dev/null/none

cmake --workflow --preset bench >/dev/null
scratch=$(mktemp -d "${TMPDIR:-/tmp}/quillon-verify-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
build/bench/bench/quillon_make_verify_inputs "$scratch"
q=$root/build/bench/quillon
cd "$scratch"
mkdir empty zipped
(cd plain && for f in *.bin; do zip -q -j "../zipped/${f%.bin}.zip" "$f"; done)
cat big.dat plain/* zipped/* >/dev/null

dat_mb=$(( $(stat -c %s big.dat) / 1000000 ))
plain_mib=$(du -sm plain | cut -f1)
zipped_mib=$(du -sm zipped | cut -f1)
peak_kb=$(/usr/bin/time -f %M "$q" --verify big.dat empty 2>&1 >/dev/null | tail -n 1)
"$q" --verify collection.dat plain | tail -n 1 > plain.summary
"$q" --verify collection.dat zipped | tail -n 1 > zipped.summary

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
hyperfine -N --warmup 1 --runs "$runs" --export-markdown dat.md \
    -n "quillon --verify, DAT of 300,000 entries ($dat_mb MB), empty folder" "$q --verify big.dat empty"
hyperfine -N --warmup 1 --runs "$runs" --export-markdown collection.md \
    -n "quillon --catalog plain (2,000 files, $plain_mib MiB)" "$q --catalog plain" \
    -n "quillon --verify plain" "$q --verify collection.dat plain" \
    -n "quillon --verify zipped ($zipped_mib MiB of zip)" "$q --verify collection.dat zipped"
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

section=$(
    printf '## Verification\n\n'
    printf 'Made by `bench/verify.sh` with hyperfine, %s runs each after a warm-up, page cache warm. ' "$runs"
    printf 'Load average before: %s, after: %s.\n\n' "$load_before" "$load_after"
    printf 'Peak memory reading the %s MB DAT: %s MiB.\n\n' "$dat_mb" "$((peak_kb / 1024))"
    cat dat.md; printf '\n'; cat collection.md; printf '\n'
    printf 'Summaries: plain `%s`, zipped `%s`.\n' "$(cat plain.summary)" "$(cat zipped.summary)"
)
cd "$root"
results=bench/RESULTS.md
if [ -f "$results" ]; then
    # Everything but an earlier section of this script stays.
    awk '/^## Verification/{skip=1; next} /^## /{skip=0} !skip' "$results" > "$results.new"
else
    : > "$results.new"
fi
printf '\n%s\n' "$section" >> "$results.new"
mv "$results.new" "$results"
printf '%s\n' "$section"
