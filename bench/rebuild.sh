#!/usr/bin/env bash
# Times --rebuild and --rebuild-files of a 2,000-game collection (about 1.3 GB;
# bench/make_rebuild_inputs.py) into a fresh folder, against cp -r of the same
# files and level-9 deflate of the same bytes (gzip -9), and a second
# --rebuild over the rebuilt folder with the digest cache warm. Page cache
# warm. Replaces the "Rebuilding" section of bench/RESULTS.md.
#   bench/rebuild.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
cmake --workflow --preset bench >/dev/null
scratch=$(mktemp -d "${TMPDIR:-/tmp}/quillon-rebuild-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
python3 bench/make_rebuild_inputs.py "$scratch"
q=$root/build/bench/quillon
cd "$scratch"
export QUILLON_CACHE_DIR=$scratch/cache
cat roms/* >/dev/null
size_mib=$(du -sm roms | cut -f1)

# One timed run: wall seconds, processor seconds, peak memory.
timed() {
    local label=$1
    shift
    /usr/bin/time -f "| $label | %e s | %U + %S s | %M KiB |" -o time.txt "$@" >run.out 2>/dev/null || true
    cat time.txt >>table.md
}
printf '| run | wall | user + system | peak memory |\n|---|---|---|---|\n' >table.md
timed "cp -r roms ($size_mib MiB)" cp -r roms copied
timed "gzip -9 of the same bytes, one core" sh -c 'cat roms/* | gzip -9 >/dev/null'
timed "quillon --rebuild into a fresh folder" "$q" --rebuild set.dat zipped roms
tail -n 1 run.out >rebuild.summary
timed "quillon --rebuild-files into a fresh folder" "$q" --rebuild-files set.dat files roms
tail -n 1 run.out >files.summary
"$q" --verify set.dat zipped >/dev/null || true # the cache learns the rebuilt archives
timed "quillon --rebuild over the rebuilt folder, cache warm" "$q" --rebuild set.dat zipped zipped
tail -n 1 run.out >second.summary

section=$(
    printf '## Rebuilding\n\n'
    printf 'Made by `bench/rebuild.sh` on %s cores, one run each, page cache warm. ' "$(nproc)"
    printf 'Load average at the end: %s.\n\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
    cat table.md
    printf '\nSummaries: rebuild `%s`; files `%s`; second run `%s`.\n' \
        "$(cat rebuild.summary)" "$(cat files.summary)" "$(cat second.summary)"
)
cd "$root"
results=bench/RESULTS.md
awk '/^## Rebuilding/{skip=1; next} /^## /{skip=0} !skip' "$results" >"$results.new"
printf '\n%s\n' "$section" >>"$results.new"
mv "$results.new" "$results"
printf '%s\n' "$section"
