#!/usr/bin/env bash
# idle_cpu.sh PROGRAM [SECONDS]
# What the window costs while nobody uses it: starts PROGRAM (KOVExtractor.exe) under Wine in the
# project's prefix without a display, lets it start up, and measures the processor time that it
# and the prefix's Wine server use over SECONDS (default 10), from /proc, so a busy machine does
# not change the figures. Ends the program after. Its last line is
#   idle program=P server=S
# each in per cent of one core.
set -euo pipefail
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: idle_cpu.sh PROGRAM [SECONDS]" >&2
    exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
program=$(realpath "$1")
seconds=${2:-10}
source "$root/scripts/wine_prefix.sh"
unset DISPLAY WAYLAND_DISPLAY
use_wine_prefix "$root/build/wine/null" null

program_pid=""
finish() {
    if [ -n "$program_pid" ]; then
        kill -KILL "$program_pid" 2>/dev/null || true
        wait "$program_pid" 2>/dev/null || true
    fi
    end_wine_server
}
trap finish EXIT
trap 'exit 1' INT TERM HUP

ticks_per_second=$(getconf CLK_TCK)
# ticks PID: the processor time the process has used so far, user and system, in clock ticks.
ticks() {
    local fields
    read -r -a fields <<<"$(sed 's/.*) //' "/proc/$1/stat")"
    echo $((fields[11] + fields[12]))
}
# The prefix's Wine server: the one started with this WINEPREFIX.
server_pid() {
    local pid
    for pid in $(pgrep '^wineserver'); do
        if tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qx "WINEPREFIX=$WINEPREFIX"; then
            echo "$pid"
            return
        fi
    done
}
# percent TICKS: TICKS over the measured time, in per cent of one core, to a tenth.
percent() {
    awk -v t="$1" -v hz="$ticks_per_second" -v s="$seconds" 'BEGIN { printf "%.1f", 100 * t / hz / s }'
}

wine_start "$program" >/dev/null 2>&1
program_pid=$wine_pid
server=""
for _ in $(seq 100); do
    server=$(server_pid)
    [ -z "$server" ] || break
    sleep 0.1
done
[ -n "$server" ] || {
    echo "idle_cpu.sh: no Wine server runs for $WINEPREFIX" >&2
    exit 1
}
# Start-up is over once half a second passes in which the program and the server each use under
# 5% of it; a program that never gets there is measured after 30 s all the same.
for _ in $(seq 60); do
    program_before=$(ticks "$program_pid")
    server_before=$(ticks "$server")
    sleep 0.5
    program_used=$(($(ticks "$program_pid") - program_before))
    server_used=$(($(ticks "$server") - server_before))
    ((program_used * 40 >= ticks_per_second || server_used * 40 >= ticks_per_second)) || break
done
program_start=$(ticks "$program_pid")
server_start=$(ticks "$server")
sleep "$seconds"
program_used=$(($(ticks "$program_pid") - program_start))
server_used=$(($(ticks "$server") - server_start))
echo "$(basename "$program") left alone for $seconds s: it used $(percent "$program_used")% of a" \
    "core, the Wine server $(percent "$server_used")%"
echo "idle program=$(percent "$program_used") server=$(percent "$server_used")"
