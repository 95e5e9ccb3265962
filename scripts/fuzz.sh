#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for SECONDS (default 30), starting from a copy of
# its seed corpus in the build folder. Fails on any finding; the input that caused it is saved
# in build/fuzz/findings/TARGET/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
build=build/fuzz
cmake --preset fuzz
cmake --build --preset fuzz -j"$(nproc)"

status=0
for target in read_index continue_disc; do
    corpus=$build/corpus/$target
    findings=$build/findings/$target
    scratch=$build/scratch/$target
    log=$build/$target.log
    rm -rf "$corpus" "$findings" "$scratch"
    mkdir -p "$corpus" "$findings" "$scratch"
    cp tests/fuzz/corpus/$target/* "$corpus"/
    # The harnesses keep their files in a folder of their own under TMPDIR.
    if ! TMPDIR=$PWD/$scratch "$build/tests/fuzz/${target}_fuzz" -max_total_time="$seconds" \
        -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 \
        -artifact_prefix="$findings/" "$corpus" >"$log" 2>&1; then
        status=1
        tail -n 40 "$log"
        echo "$target: FAILED; the input is in $findings, the whole log in $log"
    fi
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "$target: ${executions:-unknown} executions in $seconds s"
done
exit "$status"
