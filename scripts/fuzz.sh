#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets into build-fuzz/ and runs each for SECONDS
# seconds (default 20) from its seed corpus in fuzz/corpus/<target>/. The runs
# work on a copy of the seeds, so the kept corpus does not grow. Exits non-zero
# when any target crashes, leaks, hangs or reports.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
dir=build-fuzz
targets=(fuzz_database fuzz_settings fuzz_integer fuzz_check fuzz_calendar fuzz_contacts fuzz_syncstate fuzz_multistatus)

CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRORADAZA_FUZZ=ON \
    -DRORADAZA_TESTS=OFF -DRORADAZA_BENCH=OFF -DRORADAZA_SANITIZE=fuzzer-no-link,address,undefined >/dev/null
cmake --build "$dir" --parallel 2 --target "${targets[@]}"

# The targets write each input to a scratch file: on tmpfs that costs next to
# nothing, on disk it halves the executions per second.
scratch=$(mktemp -d -p /dev/shm roradaza-fuzz.XXXXXX 2>/dev/null || mktemp -d -p "$PWD/$dir" scratch.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

failed=()
for target in "${targets[@]}"; do
    work="$dir/fuzz-run/$target"
    rm -rf "$work"
    mkdir -p "$work/corpus" "$work/artifacts" "$scratch/$target"
    cp fuzz/corpus/"$target"/* "$work/corpus/"
    echo "== $target: $seconds s"
    status=0
    TMPDIR="$scratch/$target" ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$dir/bin/$target" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log")
    rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$work/log")
    echo "   ${runs:-?} runs, ${speed:-?} exec/s, peak ${rss:-?} MB," \
        "corpus $(find "$work/corpus" -type f | wc -l) files, $(cat "$work/corpus"/* | wc -c) bytes"
    if [ "$status" -ne 0 ] || [ -n "$(ls -A "$work/artifacts")" ]; then
        echo "   FAILED (exit $status); log: $work/log"
        grep -m1 -A30 -E '^==[0-9]+==|runtime error|fuzz check failed|ERROR: libFuzzer' "$work/log" || tail -30 "$work/log"
        failed+=("$target")
    fi
done

if [ ${#failed[@]} -ne 0 ]; then
    echo "Fuzzing failed: ${failed[*]}"
    exit 1
fi
echo "Fuzzing: ${#targets[@]} targets, none crashed, leaked, hung or reported."
