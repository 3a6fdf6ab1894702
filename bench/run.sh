#!/usr/bin/env bash
# Builds the release executable and the benchmarks, times every command
# against copying the same bytes, writes bench/RESULTS.md, then runs the
# in-memory microbenchmarks.
#   bench/run.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-7}

cmake --workflow --preset bench
scratch=$(mktemp -d "${TMPDIR:-/tmp}/quillon-bench-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# The creators are also timed on the pairs of the shared pair maker, where
# there is one beside the project (../shared/bench/make_pairs.py).
pairs=()
if [ -f ../shared/bench/make_pairs.py ]; then
  python3 ../shared/bench/make_pairs.py "$scratch/pairs" --seed 7 >/dev/null
  pairs=(--pairs "$scratch/pairs")
fi
build/bench/bench/quillon_bench build/bench/quillon "$scratch" --runs "$runs" --results bench/RESULTS.md.new "${pairs[@]}"
{
  cat bench/RESULTS.md.new
  printf '\n## In memory\n\n```\n'
  build/bench/bench/quillon_microbench --benchmark_min_time=0.5 2>/dev/null | sed -n '/^Benchmark/,$p'
  printf '```\n'
} > bench/RESULTS.md
rm -f bench/RESULTS.md.new
# VCDIFF: the decoder in memory against xdelta3 -d on the same patches.
if command -v xdelta3 >/dev/null; then
  mkdir -p "$scratch/vcdiff"
  {
    printf '\n## VCDIFF apply against xdelta3 -d\n\n'
    printf 'Patches made by `xdelta3 -e -S none|lzma|djw` of a pseudo-random image and a copy with 3,000 edits of 1 to 32 bytes, 4 KiB inserted and 4 KiB removed; medians of %s runs. `applyVcdiff` in memory (source and patch already read, allocation and filling of the target included); `xdelta3 -d -c -s SOURCE PATCH > /dev/null` as a process.\n\n' "$runs"
    for size in 32 64; do
      build/bench/bench/quillon_bench_vcdiff "$scratch/vcdiff" --size "$size" --runs "$runs"
      printf '\n'
    done
  } >> bench/RESULTS.md
fi
# --apply end to end against xdelta3 -d, and of UPS against cp (hyperfine).
if command -v hyperfine >/dev/null && command -v xdelta3 >/dev/null; then
  { printf '\n'; bench/apply.sh build/bench/quillon "$runs" 32 64; } >> bench/RESULTS.md
fi
# The catalogue comparison adds its own section (needs hyperfine and rhash).
if command -v hyperfine >/dev/null && command -v rhash >/dev/null; then
  bench/catalog.sh "$runs" >/dev/null
fi
cat bench/RESULTS.md
