#!/usr/bin/env bash
# kovdisc_bench.sh KOVDISC MAKE_SAMPLE_DISC FOLDER [MIB] [ROUNDS]
# Times `kovdisc add` of four trailers of MIB MiB each (default 256) to an empty disc, and
# `kovdisc copy` of that disc, against dd writing the same source audio in blocks of 1 MiB and
# flushing it to the device once (conv=fsync), as an add does: the most the device allows. The
# three alternate, ROUNDS rounds (default 5) of each, in FOLDER (emptied first, and after). Its
# last line is
#   kovdisc dd=D add=A (R) copy=C (R)
# each a median in seconds, and R dd's time divided by the command's: its speed against dd's.
# A KOVDISC ending in .exe runs under Wine, in the project's prefix, with Z: names.
set -euo pipefail
shopt -s inherit_errexit
if [ $# -lt 3 ] || [ $# -gt 5 ]; then
    echo "usage: kovdisc_bench.sh KOVDISC MAKE_SAMPLE_DISC FOLDER [MIB] [ROUNDS]" >&2
    exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
kovdisc=$(realpath "$1")
make_sample_disc=$(realpath "$2")
folder=$(realpath -m "$3")
mib=${4:-256}
rounds=${5:-5}
units=$((mib * 1048576 / 3675))

run=("$kovdisc")
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
"$make_sample_disc" "$folder/source" --trailers 4 --fixed-units "$units" >/dev/null

# Milliseconds the command takes, its output dropped.
milliseconds() {
    local start
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    echo $((($(date +%s%N) - start) / 1000000))
}

median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }

dd_times=() add_times=() copy_times=()
for ((round = 1; round <= rounds; ++round)); do
    dd_times+=("$(milliseconds dd if="$folder/source/R14T5.AUD" of="$folder/dd.AUD" bs=1M \
        conv=fsync status=none)")
    rm -f "$folder/dd.AUD"
    "${run[@]}" new "$(name "$folder/disc")" >/dev/null
    add_times+=("$(milliseconds "${run[@]}" add "$(name "$folder/disc/R14TRLR.TXT")" \
        "$(name "$folder/source/R14TRLR.TXT")")")
    copy_times+=("$(milliseconds "${run[@]}" copy "$(name "$folder/disc/R14TRLR.TXT")" \
        "$(name "$folder/copy")")")
    rm -rf "$folder/disc" "$folder/copy"
done

dd=$(median "${dd_times[@]}")
add=$(median "${add_times[@]}")
copy=$(median "${copy_times[@]}")
seconds() { awk -v ms="$1" 'BEGIN { printf "%.2f", ms / 1000 }'; }
against() { awk -v dd="$dd" -v ms="$1" 'BEGIN { printf "%.2f", dd / ms }'; }
echo "rounds of $((4 * mib)) MiB in ms: dd ${dd_times[*]}; add ${add_times[*]};" \
    "copy ${copy_times[*]}"
echo "kovdisc dd=$(seconds "$dd") add=$(seconds "$add") ($(against "$add"))" \
    "copy=$(seconds "$copy") ($(against "$copy"))"
