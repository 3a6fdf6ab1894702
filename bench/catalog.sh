#!/usr/bin/env bash
# Times --catalog against rhash computing the same four digests, on one
# 256 MiB image and on a folder of 2,000 small images, and --inspect of a
# 64 MiB image against a 64 KiB one; page cache warm. Replaces the
# "Catalogue and inspection" section of bench/RESULTS.md.
#   bench/catalog.sh [runs]        (needs hyperfine and rhash)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-10}
root=$PWD
# These figures are of the reading and hashing: no digest cache (bench/cache.sh
# times that).
export QUILLON_CACHE_DIR=/dev/null/none

cmake --workflow --preset bench >/dev/null
scratch=$(mktemp -d "${TMPDIR:-/tmp}/quillon-catalog-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
build/bench/bench/quillon_make_catalog_inputs "$scratch"
q=$root/build/bench/quillon
cd "$scratch"
cat big.z64 small/* n64_64m.z64 n64_64k.z64 >/dev/null

digests="--crc32 --md5 --sha1 --sha256"
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
hyperfine -N --warmup 2 --runs "$runs" --export-markdown big.md \
    -n "quillon --catalog (256 MiB)" "$q --catalog big.z64" \
    -n "rhash (256 MiB)" "rhash $digests big.z64"
hyperfine -N --warmup 1 --runs "$runs" --export-markdown small.md \
    -n "quillon --catalog (2,000 files, $(du -sm small | cut -f1) MiB)" "$q --catalog small" \
    -n "rhash -r (2,000 files)" "rhash $digests -r small"
hyperfine -N --warmup 3 --runs "$((runs * 5))" --export-markdown inspect.md \
    -n "quillon --inspect (64 MiB)" "$q --inspect n64_64m.z64" \
    -n "quillon --inspect (64 KiB)" "$q --inspect n64_64k.z64"
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

section=$(
    printf '## Catalogue and inspection\n\n'
    printf 'Made by `bench/catalog.sh` with hyperfine, %s runs each after a warm-up, page cache warm. ' "$runs"
    printf 'rhash computes the same four digests. Load average before: %s, after: %s ' "$load_before" "$load_after"
    printf '(the 2 cores are shared; quillon needs both to show its speed-up).\n\n'
    cat big.md; printf '\n'; cat small.md; printf '\n'; cat inspect.md
)
cd "$root"
results=bench/RESULTS.md
if [ -f "$results" ]; then
    # Everything before an earlier section of this script stays.
    sed -n '/^## Catalogue and inspection/q;p' "$results" > "$results.new"
else
    : > "$results.new"
fi
printf '%s\n' "$section" >> "$results.new"
mv "$results.new" "$results"
printf '%s\n' "$section"
