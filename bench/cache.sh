#!/usr/bin/env bash
# Times the digest cache: --verify of the 2,000-file collection of
# bench/verify.sh, plain and zipped, with no cache (as before the cache),
# cold (an empty cache, filled by the run) and warm (the same command again),
# and --verify of 100,000 small files warm; records the database's size.
# Replaces the "Digest cache" section of bench/RESULTS.md.
#   bench/cache.sh [runs]        (needs hyperfine, zip and python3)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
root=$PWD

cmake --workflow --preset bench >/dev/null
scratch=$(mktemp -d "${TMPDIR:-/tmp}/quillon-cache-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
build/bench/bench/quillon_make_verify_inputs "$scratch"
q=$root/build/bench/quillon
cd "$scratch"
mkdir zipped
(cd plain && for f in *.bin; do zip -q -j "../zipped/${f%.bin}.zip" "$f"; done)

# 100,000 files of 1 to 4 KiB in 100 folders, and their DAT.
python3 - <<'EOF'
import hashlib, os, random, zlib
random.seed(25)
os.makedirs("small", exist_ok=True)
with open("small.dat", "w") as dat:
    dat.write('<?xml version="1.0"?>\n<datafile>\n<header><name>Small</name></header>\n')
    for i in range(100000):
        folder = "small/%02d" % (i % 100)
        os.makedirs(folder, exist_ok=True)
        data = random.randbytes(1024 * (1 + i % 4))
        name = "f%06d.bin" % i
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        dat.write('<game name="f%06d"><rom name="%s" size="%d" crc="%08x" sha1="%s"/></game>\n'
                  % (i, name, len(data), zlib.crc32(data), hashlib.sha1(data).hexdigest()))
    dat.write("</datafile>\n")
EOF
# A file modified in the last 2 seconds is not kept: the collection is older.
find plain zipped small -type f -exec touch -d '2 days ago' {} +
cat plain/* zipped/* >/dev/null

none="env QUILLON_CACHE_DIR=/dev/null/none $q"
cached="env QUILLON_CACHE_DIR=$scratch/cache $q"
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for set in plain zipped; do
    hyperfine -N --warmup 1 --runs "$runs" --export-markdown "$set.md" \
        -n "$set: no cache" "$none --verify collection.dat $set" \
        -n "$set: cold (empty cache)" --prepare "rm -rf $scratch/cache" \
        "$cached --verify collection.dat $set"
    $cached --verify collection.dat $set >/dev/null
    hyperfine -N --warmup 1 --runs "$runs" --export-markdown "$set-warm.md" \
        -n "$set: warm" "$cached --verify collection.dat $set"
done
cmp <($none --verify collection.dat zipped) <($cached --verify collection.dat zipped)
rm -rf "$scratch/cache"
small_cold=$( { /usr/bin/time -f %e $cached --verify small.dat small >/dev/null; } 2>&1 )
hyperfine -N --warmup 1 --runs "$runs" --export-markdown small.md \
    -n "100,000 files of 1-4 KiB: warm" "$cached --verify small.dat small"
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
db_bytes=$(stat -c %s "$scratch/cache/digests.sqlite")

section=$(
    printf '## Digest cache\n\n'
    printf 'Made by `bench/cache.sh` with hyperfine, %s runs each after a warm-up, page cache warm. ' "$runs"
    printf 'Load average before: %s, after: %s.\n\n' "$load_before" "$load_after"
    cat plain.md; printf '\n'; cat plain-warm.md; printf '\n'
    cat zipped.md; printf '\n'; cat zipped-warm.md; printf '\n'
    cat small.md; printf '\n'
    printf 'The 100,000 small files cold (one run, filling the cache): %s s. ' "$small_cold"
    printf 'Database after them: %s bytes.\n' "$db_bytes"
)
cd "$root"
results=bench/RESULTS.md
awk '/^## Digest cache/{skip=1; next} /^## /{skip=0} !skip' "$results" > "$results.new"
printf '\n%s\n' "$section" >> "$results.new"
mv "$results.new" "$results"
printf '%s\n' "$section"
