#!/bin/sh
# Builds the fuzz targets (preset fuzz), writes the seed corpora and runs each
# target for SECONDS seconds (default 30), one after the other. Exits non-zero
# on any finding (crash, broken invariant, sanitizer report, leak, timeout,
# out-of-memory) or build failure, and prints the executions of each target.
#
#   fuzz/run.sh [SECONDS] [TARGET...]      TARGET: NAME of any fuzz/fuzz_NAME.cpp (default: all)
#
# Work files live under build/fuzz/: seeds/ (rewritten every run), corpus/
# (what the fuzzers found interesting, kept between runs), findings/ (the
# inputs of any finding, kept until the next run of the target) and logs/.
set -eu

seconds=${1:-30}
[ $# -gt 0 ] && shift
root=$(cd "$(dirname "$0")/.." && pwd)
all=$(cd "$root/fuzz" && ls fuzz_*.cpp | sed 's/^fuzz_//; s/\.cpp$//' | tr '\n' ' ')
targets=${*:-$all}

build=$root/build/fuzz
cd "$root"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

rm -rf "$build/seeds"
"$build/fuzz/fuzz_make_seeds" "$build/seeds" "$root/tests/data/vectors"

export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0
for target in $targets; do
    corpus=$build/corpus/$target
    findings=$build/findings/$target
    log=$build/logs/$target.log
    rm -rf "$findings"
    mkdir -p "$corpus" "$findings" "$build/logs"
    # A single input running 30 s is a hang; 2 GiB of memory is far beyond
    # what any accepted input needs (the BPS target skips declared targets
    # over 64 MiB).
    if "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
        -timeout=30 -rss_limit_mb=2048 -artifact_prefix="$findings/" \
        "$corpus" "$build/seeds/$target" >"$log" 2>&1; then
        result=ok
    else
        result=FAILED
    fi
    if [ -n "$(ls -A "$findings")" ]; then
        result=FAILED
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    echo "fuzz_$target: ${runs:-?} executions in $seconds s: $result"
    if [ "$result" != ok ]; then
        status=1
        tail -n 40 "$log"
        echo "inputs kept in $findings, full log in $log"
    fi
done
exit $status
