#!/usr/bin/env bash
# Starts KOV Extractor, the 32-bit program users get, under Wine, building what is missing first
# (the 64-bit build where the 32-bit one cannot run: the 32-bit Wine is missing, or the kernel
# cannot execute 32-bit programs; it says which). The first run also writes a
# demo source disc into demo/. Without a display, the program runs on a virtual one: the script
# saves a screenshot to build/screenshot.png and then ends the program.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install_packages.sh
source scripts/wine_prefix.sh
preset=windows-x86
if no_32bit=$(wine_32bit_missing); then
    echo "Running the 64-bit build: $no_32bit."
    preset=windows-x64
fi
program=build/$preset/KOVExtractor.exe
if [ ! -f "$program" ]; then
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target programs -j"$(nproc)"
fi
if [ ! -f demo/R14TRLR.TXT ]; then
    if [ ! -x build/native/tools/make_sample_disc ]; then
        cmake --preset native >/dev/null
        cmake --build --preset native --target make_sample_disc -j"$(nproc)"
    fi
    build/native/tools/make_sample_disc demo >/dev/null
fi
echo "A demo source disc is in $root/demo: in the program, Open Disc and choose"
echo "Z:${root//\//\\}\\demo\\R14TRLR.TXT"

desktop=800x560
use_wine_prefix "$root/build/wine/desktop" "desktop=$desktop"
# A Wine desktop of its own draws the window's frame and caption, with or without a manager.
run_program() { wine_run explorer "/desktop=KOV,$desktop" "$root/$program"; }

if [ -n "${DISPLAY:-}" ]; then
    run_program
    exit 0
fi

source scripts/virtual_display.sh
program_pid=""
finish() {
    if [ -n "$program_pid" ]; then
        wine_run taskkill /im KOVExtractor.exe >/dev/null 2>&1 || true
        end_wine_server
        wait "$program_pid" 2>/dev/null || true
    fi
    stop_virtual_display
}
trap finish EXIT
start_virtual_display "$desktop"
echo "No display: running the program on the virtual display $DISPLAY."
run_program &
program_pid=$!
for _ in $(seq 240); do
    if xdotool search --name '^KOV Extractor v1\.2$' >/dev/null 2>&1; then break; fi
    sleep 0.5
done
if ! xdotool search --name '^KOV Extractor v1\.2$' >/dev/null 2>&1; then
    echo "The program's window did not appear." >&2
    exit 1
fi
sleep 2 # let it paint
import -window root build/screenshot.png
echo "Saved a screenshot of the window to $root/build/screenshot.png; ending the program."
