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

# fuzz TARGET: runs one target for SECONDS and prints its one line.
fuzz() {
    local target=$1
    local corpus=$build/corpus/$target findings=$build/findings/$target
    local scratch=$build/scratch/$target log=$build/$target.log status=0 executions
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
    return "$status"
}

# Each target runs on a core of its own, at once; their lines are printed in this order.
targets=(read_index continue_disc)
pids=()
for target in "${targets[@]}"; do
    fuzz "$target" >"$build/$target.summary" &
    pids+=($!)
done
status=0
for i in "${!targets[@]}"; do
    wait "${pids[i]}" || status=1
    cat "$build/${targets[i]}.summary"
done
exit "$status"
