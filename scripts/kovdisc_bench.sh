#!/usr/bin/env bash
# kovdisc_bench.sh KOVDISC MAKE_SAMPLE_DISC FOLDER [ROUNDS [SAMPLE_ARGUMENTS...]]
# Times `kovdisc add` of every trailer of a source disc to an empty disc, and `kovdisc copy` of
# a disc that holds them, against dd writing the same source audio in blocks of 1 MiB and
# flushing it to the device once (conv=fsync): the most the device allows. The source is
# `make_sample_disc FOLDER/source SAMPLE_ARGUMENTS...` (default: four trailers of 256 MiB,
# --trailers 4 --fixed-units 73043). ROUNDS rounds (default 5) of the three, in FOLDER (emptied
# first, and after); each round the next of the three goes first, and each starts after a sync.
# Its last line is
#   kovdisc dd=D add=A (R) copy=C (R)
# each a median in seconds, and R dd's time divided by the command's: its speed against dd's.
# A KOVDISC ending in .exe runs under Wine, in the project's prefix, with Z: names. With
# KOV_BENCH_PRELOAD set, dd and kovdisc run with that library preloaded (LD_PRELOAD): the slow
# media of tests/support/slow_flush.cpp.
set -euo pipefail
shopt -s inherit_errexit
if [ $# -lt 3 ]; then
    echo "usage: kovdisc_bench.sh KOVDISC MAKE_SAMPLE_DISC FOLDER [ROUNDS [SAMPLE_ARGUMENTS...]]" >&2
    exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
kovdisc=$(realpath "$1")
make_sample_disc=$(realpath "$2")
folder=$(realpath -m "$3")
rounds=${4:-5}
shift $(($# < 4 ? $# : 4))
sample=("$@")
((${#sample[@]} > 0)) || sample=(--trailers 4 --fixed-units 73043)

preload=()
if [ -n "${KOV_BENCH_PRELOAD:-}" ]; then preload=(env LD_PRELOAD="$KOV_BENCH_PRELOAD"); fi
run=("${preload[@]}" "$kovdisc")
name() { printf '%s' "$1"; }
if [[ $kovdisc == *.exe ]]; then
    source "$root/scripts/wine_prefix.sh"
    unset DISPLAY WAYLAND_DISPLAY
    use_wine_prefix "$root/build/wine/null" null
    # One server for every run, so that no run pays for starting it.
    wineserver -p
    trap 'wineserver -k; rm -rf "$folder"' EXIT
    wine_command "$kovdisc"
    run=("${wine_command[@]}")
    name() { windows_path "$1"; }
else
    trap 'rm -rf "$folder"' EXIT
fi

rm -rf "$folder"
mkdir -p "$folder"
"$make_sample_disc" "$folder/source" "${sample[@]}" >/dev/null
# The disc every copy copies, made once.
"${run[@]}" new "$(name "$folder/full")" >/dev/null
"${run[@]}" add "$(name "$folder/full/R14TRLR.TXT")" "$(name "$folder/source/R14TRLR.TXT")" \
    >/dev/null 2>&1

# Milliseconds the command takes, its output dropped, after a sync.
milliseconds() {
    local start
    sync
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    echo $((($(date +%s%N) - start) / 1000000))
}

time_dd() {
    dd_times+=("$(milliseconds "${preload[@]}" dd if="$folder/source/R14T5.AUD" \
        of="$folder/dd.AUD" bs=1M conv=fsync status=none)")
    rm -f "$folder/dd.AUD"
}
time_add() {
    "${run[@]}" new "$(name "$folder/disc")" >/dev/null
    add_times+=("$(milliseconds "${run[@]}" add "$(name "$folder/disc/R14TRLR.TXT")" \
        "$(name "$folder/source/R14TRLR.TXT")")")
    rm -rf "$folder/disc"
}
time_copy() {
    copy_times+=("$(milliseconds "${run[@]}" copy "$(name "$folder/full/R14TRLR.TXT")" \
        "$(name "$folder/copy")")")
    rm -rf "$folder/copy"
}

median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }

dd_times=() add_times=() copy_times=()
turns=(time_dd time_add time_copy)
for ((round = 0; round < rounds; ++round)); do
    for ((turn = 0; turn < 3; ++turn)); do
        "${turns[(round + turn) % 3]}"
    done
done

dd=$(median "${dd_times[@]}")
add=$(median "${add_times[@]}")
copy=$(median "${copy_times[@]}")
seconds() { awk -v ms="$1" 'BEGIN { printf "%.2f", ms / 1000 }'; }
against() { awk -v dd="$dd" -v ms="$1" 'BEGIN { printf "%.2f", dd / ms }'; }
echo "rounds of ${sample[*]} in ms: dd ${dd_times[*]}; add ${add_times[*]};" \
    "copy ${copy_times[*]}"
echo "kovdisc dd=$(seconds "$dd") add=$(seconds "$add") ($(against "$add"))" \
    "copy=$(seconds "$copy") ($(against "$copy"))"
