#!/bin/sh
# Builds the fuzz targets (clang, libFuzzer, address and undefined-behaviour
# sanitizers) in build-fuzz and runs each for a bounded time, starting from
# its seed corpus in fuzz/corpus/<target>. Any crash, leak, time-out or
# sanitizer report fails the run; the input that caused it is kept in
# build-fuzz/findings/.
#
#   scripts/fuzz.sh [seconds per target]     (default 30)
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-30}
jobs=$(nproc 2>/dev/null || echo 2)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSWATHLINK_FUZZ=ON
cmake --build build-fuzz -j"$jobs" --target fuzz_targets

mkdir -p build-fuzz/findings
for seeds in fuzz/corpus/*/; do
    target=$(basename "$seeds")
    # New inputs go to a working corpus in the build; the committed seeds stay as they are.
    work=build-fuzz/corpus/$target
    mkdir -p "$work"
    echo "fuzzing $target for ${seconds}s"
    build-fuzz/fuzz/fuzz_"$target" "$work" "$seeds" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 -print_final_stats=1 \
        -artifact_prefix=build-fuzz/findings/"$target"- 2>build-fuzz/fuzz_"$target".log || {
        tail -n 60 build-fuzz/fuzz_"$target".log >&2
        echo "fuzz_$target failed: see build-fuzz/fuzz_$target.log and build-fuzz/findings/" >&2
        exit 1
    }
    grep -E "^stat::(number_of_executed_units|new_units_added)" build-fuzz/fuzz_"$target".log || true
done
echo "fuzzing passed"
