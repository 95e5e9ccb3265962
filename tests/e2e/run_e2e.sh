#!/usr/bin/env bash
# run_e2e.sh PROGRAM DRIVER BUILD_DIR
# End-to-end test of the real program under Wine: writes two sample source discs, starts
# PROGRAM (KOVExtractor.exe) on a virtual display inside a Wine desktop, and lets DRIVER
# (e2e_driver.exe) work it and check what it writes. Everything goes to BUILD_DIR/e2e: the
# discs (kept only when the test fails), the program's Wine messages and the screenshots as PNG
# files. The Wine prefix is BUILD_DIR/wine-e2e-prefix.
set -euo pipefail
if [ $# -ne 3 ]; then
    echo "usage: run_e2e.sh PROGRAM DRIVER BUILD_DIR" >&2
    exit 2
fi
root=$(cd "$(dirname "$0")/../.." && pwd)
program=$(realpath "$1")
driver=$(realpath "$2")
build=$(realpath "$3")
out=$build/e2e
desktop=800x560

# Linux paths as Wine's Z: drive shows them.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

make_sample_disc=$root/build/native/tools/make_sample_disc
if [ ! -x "$make_sample_disc" ]; then
    (cd "$root" && cmake --preset native >/dev/null &&
        cmake --build --preset native --target make_sample_disc -j"$(nproc)" >/dev/null)
fi
rm -rf "$out"
mkdir -p "$out/discs"
"$make_sample_disc" "$out/discs/source" --trailers 8 --seconds 4 --seed 11 >/dev/null
"$make_sample_disc" "$out/discs/long" --trailers 1 --seconds 1800 --seed 3 >/dev/null

unset WAYLAND_DISPLAY

source "$root/scripts/virtual_display.sh"
source "$root/scripts/wine_prefix.sh"
program_pid=""
finish() {
    if [ -n "$program_pid" ]; then
        if kill -0 "$program_pid" 2>/dev/null; then
            wine taskkill /im KOVExtractor.exe >/dev/null 2>&1 || true
        fi
        end_wine_server
        wait "$program_pid" 2>/dev/null || true
    fi
    stop_virtual_display
}
trap finish EXIT
trap 'exit 1' INT TERM HUP

# Every program of the prefix opens in the Wine desktop "KOV", so the driver sees the
# program's windows. A Wine server left by a run that was killed would still be bound to that
# run's display, which is gone: it is ended first.
use_wine_prefix "$build/wine-e2e-prefix" "desktop=$desktop"
timeout 20 wineserver --wait 2>/dev/null || wineserver --kill 2>/dev/null || true
start_virtual_display "$desktop"

# Wine notes from the program (the open-file dialog writes a few) go to a log of their own.
wine explorer "/desktop=KOV,$desktop" "$(windows_path "$program")" >"$out/program.log" 2>&1 &
program_pid=$!
status=0
wine "$driver" "$(windows_path "$out/discs")" "$(windows_path "$out")" || status=$?

for shot in "$out"/*.bmp; do
    if [ -f "$shot" ]; then
        convert "$shot" "${shot%.bmp}.png" && rm "$shot"
    fi
done
if [ "$status" -ne 0 ]; then
    echo "e2e: the end-to-end test failed (status $status); its files are in $out" >&2
    exit 1
fi
rm -rf "$out/discs" # a quarter of a gigabyte of audio
echo "e2e: passed; screenshots in $out"
