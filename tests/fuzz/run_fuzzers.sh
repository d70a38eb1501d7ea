#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one for a number of seconds, starting
# from its seed corpus in tests/fuzz/corpus/<target>. Fails when any target finds a crash, a
# sanitizer report, a broken invariant or an input that runs past the time limit; the input is
# left in <build>/fuzz-artifacts/<target>/.
#
# Usage: tests/fuzz/run_fuzzers.sh [seconds per target, default 30] [target ...]
# Targets are the names of tests/fuzz/*_fuzzer.cpp without "_fuzzer" (tagfile, instructions,
# ...). QV_FUZZ_BUILD_DIR chooses the build directory (default build-fuzz). New inputs the
# fuzzers find go to <build>/fuzz-corpus/<target>, never into the seed corpus.
set -euo pipefail
cd "$(dirname "$0")/../.."

seconds=${1:-30}
shift || true
build=${QV_FUZZ_BUILD_DIR:-build-fuzz}
# One input may take this long before it counts as a hang.
unit_timeout=${QV_FUZZ_UNIT_TIMEOUT:-20}

if ! command -v clang++ >/dev/null; then
    echo "run_fuzzers: clang++ is not installed; the fuzz targets need it" >&2
    exit 2
fi

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for source in tests/fuzz/*_fuzzer.cpp; do
        name=$(basename "$source" .cpp)
        targets+=("${name%_fuzzer}")
    done
fi

mkdir -p "$build"
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQV_FUZZ=ON -DQV_BUILD_TESTS=OFF >"$build/fuzz-configure.log" 2>&1 ||
    { cat "$build/fuzz-configure.log" >&2; exit 1; }
cmake --build "$build" --target qv_fuzzers -j "$(nproc 2>/dev/null || echo 2)"

export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
failed=()
for target in "${targets[@]}"; do
    binary="$build/${target}_fuzzer"
    seeds="tests/fuzz/corpus/$target"
    corpus="$build/fuzz-corpus/$target"
    artifacts="$build/fuzz-artifacts/$target"
    log="$build/fuzz-$target.log"
    mkdir -p "$corpus" "$artifacts" "$seeds"
    options=(-max_total_time="$seconds" -timeout="$unit_timeout" -rss_limit_mb=2048
             -print_final_stats=1 -artifact_prefix="$artifacts/")
    if [ -f "tests/fuzz/$target.dict" ]; then
        options+=(-dict="tests/fuzz/$target.dict")
    fi
    if "$binary" "${options[@]}" "$corpus" "$seeds" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
        echo "fuzz $target: ${runs:-?} runs in ${seconds} s, ${rate:-?} exec/s, no finding"
    else
        echo "fuzz $target: FINDING (log $log, input in $artifacts/)" >&2
        grep -E -A30 '^==[0-9]+==|^fuzz invariant|runtime error|^SUMMARY' "$log" | head -60 >&2
        failed+=("$target")
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "run_fuzzers: findings in: ${failed[*]}" >&2
    exit 1
fi
