#!/usr/bin/env bash
# run_e2e.sh PROGRAM DRIVER BUILD_DIR
# End-to-end test of the real program under Wine: writes two sample source discs, starts
# PROGRAM (KOVExtractor.exe) on a virtual display inside a Wine desktop, and lets DRIVER
# (e2e_driver.exe) work it and check what it writes. Everything goes to BUILD_DIR/e2e: the
# discs (kept only when the test fails), the program's Wine messages and the screenshots as PNG
# files. The Wine prefix is the project's desktop prefix, build/wine/desktop.
set -euo pipefail
if [ $# -ne 3 ]; then
    echo "usage: run_e2e.sh PROGRAM DRIVER BUILD_DIR" >&2
    exit 2
fi
test_name=e2e
source "$(dirname "$0")/../lib.sh"
root=$kov_root
program=$(realpath "$1")
driver=$(realpath "$2")
build=$(realpath "$3")
out=$build/e2e
desktop=800x560

# Native helpers: one writes the source discs, the other checks the discs of the kill rounds.
make_sample_disc=$root/build/native/tools/make_sample_disc
whole_disc_check=$root/build/native/tests/whole_disc_check
if [ ! -x "$make_sample_disc" ] || [ ! -x "$whole_disc_check" ]; then
    (cd "$root" && cmake --preset native >/dev/null &&
        cmake --build --preset native --target make_sample_disc whole_disc_check \
            -j"$(nproc)" >/dev/null)
fi
rm -rf "$out"
mkdir -p "$out/discs"
"$make_sample_disc" "$out/discs/source" --trailers 8 --seconds 4 --seed 11 >/dev/null
"$make_sample_disc" "$out/discs/long" --trailers 1 --seconds 1800 --seed 3 >/dev/null
"$make_sample_disc" "$out/discs/kill" --trailers 3 --seconds 600 --seed 5 >/dev/null

fail_hint="its files are in $out"
wine_skip_unless_runs "$program" "$driver"
source "$root/tests/e2e/writer_signals.sh"
# Every program of the prefix opens in the Wine desktop "KOV", so the driver sees the
# program's windows. A Wine server left by a run that was killed would still be bound to that
# run's display, which is gone: it is ended first.
test_wine_prefix "$root/build/wine/desktop" "desktop=$desktop"
timeout 20 wineserver --wait 2>/dev/null || wineserver --kill 2>/dev/null || true
test_display "$desktop"
program_pid=""
stop_program() {
    if [ -n "$program_pid" ]; then
        if kill -0 "$program_pid" 2>/dev/null; then
            wine_run taskkill /im KOVExtractor.exe >/dev/null 2>&1 || true
        fi
        end_wine_server
        wait "$program_pid" 2>/dev/null || true
    fi
}
at_exit stop_program

# Wine notes from the program (the open-file dialog writes a few) go to a log of their own.
wine_start explorer "/desktop=KOV,$desktop" "$(windows_path "$program")" >"$out/program.log" 2>&1
program_pid=$wine_pid
status=0
wine_run "$driver" "$(windows_path "$out/discs")" "$(windows_path "$out")" || status=$?

for shot in "$out"/*.bmp; do
    if [ -f "$shot" ]; then
        convert "$shot" "${shot%.bmp}.png" && rm "$shot"
    fi
done
[ "$status" -eq 0 ] || fail "the end-to-end test failed (status $status)"

# Discs in folders named in other scripts, through the open-file dialog and the folder browser.
wine_start "$program" >>"$out/program.log" 2>&1
program_pid=$wine_pid
wine_run "$driver" --named-folders "$(windows_path "$out/discs")" ||
    fail "the discs in folders named in other scripts (the driver ended with status $?)"
wait "$program_pid" || fail "the program ended with status $? after the named folders"
program_pid=""

# Kill rounds: each round starts the program, lets the driver start an Add of three long
# trailers into an empty disc, and kills the program (SIGKILL, no chance to tidy up) once the
# disc's audio has reached a given share of all three, a different share each round. The disc
# it leaves must then continue, natively, with every listed trailer's audio intact.
killed_audio=$out/discs/killed/R14T5.AUD
total=$(awk '!/^;/ && NF >= 5 { sum += $4 * 3675 } END { print sum + 92 }' \
    "$out/discs/kill/R14TRLR.TXT")
kill_percents=(0 3 20 34 50 67 85 97)
mid_copy=0
slowest_ms=0
for round in "${!kill_percents[@]}"; do
    percent=${kill_percents[$round]}
    target=$((92 + (total - 92) * percent / 100))
    wine_start "$program" >>"$out/program.log" 2>&1
    program_pid=$wine_pid
    wine_run "$driver" --start-add "$(windows_path "$out/discs")" ||
        fail "kill round $((round + 1)) could not start Add (the driver ended with status $?)"
    wait_for_size "$killed_audio" "$target" 30 "$program_pid"
    kill_writer "$program_pid" "$killed_audio"
    when="kill round $((round + 1)), at $percent% of the audio"
    # The Wine server holds the killed program's lock on the disc until it notices the death:
    # the check, from the moment of the kill, waits for it, 5 s at most.
    for held in $(seq 0 500); do
        tried_at=$(date +%s%N)
        status=0
        result=$("$whole_disc_check" "$out/discs/killed") || status=$?
        if [ "$status" -ne 3 ]; then break; fi
        sleep 0.01
    done
    wait "$program_pid" 2>/dev/null || true
    program_pid=""
    [ "$status" -eq 0 ] || fail "$when: $result"
    free_ms=$(((tried_at - killed_at) / 1000000))
    note "$when: $result; the disc was free ${free_ms} ms after the kill (checks that" \
        "found it held: $held)"
    slowest_ms=$((free_ms > slowest_ms ? free_ms : slowest_ms))
    case $result in *" 0 bytes of an unfinished add"*) ;; *) mid_copy=$((mid_copy + 1)) ;; esac
done
note "the disc survived ${#kill_percents[@]} of ${#kill_percents[@]} kills, $mid_copy of" \
    "them in the middle of a trailer's copy; it was free at most ${slowest_ms} ms after a kill"
((mid_copy * 2 >= ${#kill_percents[@]})) || fail "too few kills landed in the middle of a copy"

rm -rf "$out/discs" # half a gigabyte of audio
note "passed; screenshots in $out"
