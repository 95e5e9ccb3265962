#!/usr/bin/env bash
# wine_writers_test.sh PROGRAM DRIVER KOVDISC_EXE BUILD_DIR
# Two writers on one disc under Wine, in every pair of the window (PROGRAM, KOVExtractor.exe,
# worked by DRIVER, e2e_driver.exe), KOVDISC_EXE (kovdisc.exe) and the native kovdisc that can
# meet. The first writer is stopped (SIGSTOP) the moment the disc's audio grows, in the middle
# of copying a trailer of 73 MB: the second is refused with the disc's files byte for byte as
# they were, readers still read, and the first, continued, finishes a disc that verifies. Then
# a first writer is killed (SIGKILL) in the middle of its copy, and the next writer must work
# once the Wine server has let go of the killed one's hold. Runs on a virtual display in the
# project's desktop prefix; files go to BUILD_DIR/wine-writers, kept only when the test fails.
set -euo pipefail
if [ $# -ne 4 ]; then
    echo "usage: wine_writers_test.sh PROGRAM DRIVER KOVDISC_EXE BUILD_DIR" >&2
    exit 2
fi
test_name="wine writers"
source "$(dirname "$0")/../lib.sh"
root=$kov_root
program=$(realpath "$1")
driver=$(realpath "$2")
kovdisc_exe=$(realpath "$3")
out=$(realpath "$4")/wine-writers
desktop=800x560
wine_skip_unless_runs "$program" "$driver" "$kovdisc_exe"
source "$root/tests/e2e/writer_signals.sh"

kovdisc=$root/build/native/cli/kovdisc
make_sample_disc=$root/build/native/tools/make_sample_disc
if [ ! -x "$kovdisc" ] || [ ! -x "$make_sample_disc" ]; then
    (cd "$root" && cmake --preset native >/dev/null &&
        cmake --build --preset native --target kovdisc make_sample_disc -j"$(nproc)" >/dev/null)
fi
rm -rf "$out"
mkdir -p "$out/discs"
cd "$out/discs"
discs=$(windows_path "$out/discs")
# `kill` is the window's source (see e2e_driver's --start-add). kovdisc moves audio in blocks of
# 1 MiB, many times faster than the window: its first writers copy `long` and `longer`, which
# take a while even so.
"$make_sample_disc" kill --trailers 1 --fixed-units 20000 --seed 1 >/dev/null
"$make_sample_disc" long --trailers 1 --fixed-units 100000 --seed 2 >/dev/null
"$make_sample_disc" longer --trailers 1 --fixed-units 100000 --seed 4 >/dev/null
"$make_sample_disc" three --trailers 3 --fixed-units 20000 --seed 6 >/dev/null
"$make_sample_disc" small --trailers 1 --fixed-units 30 --seed 3 >/dev/null

fail_hint="the files are in $out"
test_wine_prefix "$root/build/wine/desktop" "desktop=$desktop"
timeout 20 wineserver --wait 2>/dev/null || wineserver --kill 2>/dev/null || true
test_display "$desktop"
writer_pid=""
program_pid=""
driver_pid=""
stop_writers() {
    for pid in $writer_pid $program_pid $driver_pid; do
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}
at_exit stop_writers

# kovdisc of a kind, exe (kovdisc.exe under Wine) or native, in `command`.
kovdisc_of() {
    if [ "$1" = exe ]; then
        wine_command "$kovdisc_exe"
        command=("${wine_command[@]}")
    else
        command=("$kovdisc")
    fi
}
# kov KIND ARGUMENTS...: runs it, its output in out.txt and err.txt; returns its exit code.
kov() {
    kovdisc_of "$1"
    shift
    "${command[@]}" "$@" >"$out/out.txt" 2>"$out/err.txt"
}
# start_kov KIND ARGUMENTS...: runs it left running, its id in writer_pid.
start_kov() {
    kovdisc_of "$1"
    shift
    "${command[@]}" "$@" >"$out/writer.out" 2>"$out/writer.err" &
    writer_pid=$!
}
start_program() {
    wine_start "$program" >>"$out/program.log" 2>&1
    program_pid=$wine_pid
}
# finished PID WHAT: waits for PID, which must exit with status 0.
finished() {
    local code=0
    wait "$1" || code=$?
    [ "$code" -eq 0 ] || fail "$2 ended with status $code"
}

# stop_mid_copy PID DISC SIZE SOURCE: stops PID the moment DISC's audio grows past SIZE bytes,
# which must leave it in the middle of the copy of SOURCE's one trailer: `copied` bytes of it. The
# disc's files go to `held`.
stop_mid_copy() {
    local grown
    wait_for_size "$2/R14T5.AUD" $(($3 + 1)) 30
    stop_writer "$1" "$2/R14T5.AUD"
    grown=$(file_size "$2/R14T5.AUD")
    ((grown < $3 + $(file_size "$4/R14T5.AUD") - 92)) ||
        fail "the copy into $2 had ended when it was stopped"
    copied=$((grown - $3))
    rm -rf "$out/held"
    cp -r "$2" "$out/held"
    printf '%s\r\n' "$3" | cmp -s - "$2/R14T5.ADD" || fail "$2 holds no record of the add"
}
unchanged() { diff -r "$out/held" "$1" >/dev/null || fail "$2 changed the disc $1"; }
# only_the_disc DISC: the folder holds the disc's two files and nothing else.
only_the_disc() {
    [ "$(ls "$1" | tr '\n' ' ')" = "R14T5.AUD R14TRLR.TXT " ] || fail "$1 holds $(ls "$1")"
}
# verified DISC SOURCES...: the native kovdisc finds the disc sound and its audio the sources'.
verified() {
    local disc=$1
    shift
    kov native check "$disc/R14TRLR.TXT" || fail "$disc is not sound: $(cat "$out/out.txt")"
    kov native verify "$disc/R14TRLR.TXT" "${@/%//R14TRLR.TXT}" ||
        fail "$disc does not verify: $(cat "$out/out.txt" "$out/err.txt")"
    only_the_disc "$disc"
}

# refused KIND DISC HOLDER: every writer of that kind is refused with exit 1 and one line, and
# leaves DISC as it was; readers read it, and check sees the add under way.
refused() {
    local kind=$1 disc=$2 code index line
    for writer in "add $disc/R14TRLR.TXT longer/R14TRLR.TXT" "new $disc --force" \
        "check $disc/R14TRLR.TXT --repair"; do
        index=$disc/R14TRLR.TXT
        if [ "$kind" = exe ] && [ "${writer%% *}" = new ]; then index=$disc\\R14TRLR.TXT; fi
        line="kovdisc: another program is writing the disc $index; nothing was changed."
        if [ "$kind" = exe ]; then line+=$'\r'; fi
        code=0
        kov "$kind" $writer || code=$?
        if [ "$code" -ne 1 ] || [ -s "$out/out.txt" ] ||
            ! printf '%s\n' "$line" | cmp -s - "$out/err.txt"; then
            fail "$kind kovdisc $writer on a held disc: exit $code, $(cat "$out/err.txt")"
        fi
        unchanged "$disc" "$kind kovdisc $writer"
    done
    for reader in "list $disc/R14TRLR.TXT" \
        "verify $disc/R14TRLR.TXT kill/R14TRLR.TXT small/R14TRLR.TXT"; do
        kov "$kind" $reader || fail "$kind kovdisc $reader was refused: $(cat "$out/err.txt")"
    done
    code=0
    kov "$kind" check "$disc/R14TRLR.TXT" || code=$?
    [ "$code" -eq 1 ] || fail "$kind kovdisc check of a disc under an add: exit $code"
    grep -q "an add under way: another program is writing the disc" "$out/out.txt" ||
        fail "$kind kovdisc check does not see the add under way: $(cat "$out/out.txt")"
    unchanged "$disc" "$kind kovdisc's readers"
    note "$kind kovdisc refused while $3, stopped $copied bytes into its copy, held $disc;" \
        "readers read it"
}

# retry_while_held KIND ARGUMENTS...: kov, again while it is refused as a second writer, 10 s at
# most; it must cut the killed add. The ms from the kill to the try that worked go to free_ms,
# the tries refused to `held`.
retry_while_held() {
    local code tried_at
    for held in $(seq 0 1000); do
        tried_at=$(date +%s%N)
        code=0
        kov "$@" || code=$?
        if [ "$code" -ne 1 ] || ! grep -q "another program is writing" "$out/err.txt"; then
            break
        fi
        sleep 0.01
    done
    free_ms=$(((tried_at - killed_at) / 1000000))
    [ "$code" -eq 0 ] || fail "$1 kovdisc $2 after a kill: exit $code, $(cat "$out/err.txt")"
    grep -q '^kovdisc: cutting ' "$out/err.txt" || fail "$1 kovdisc $2 did not cut the killed add"
}

# A disc of one small trailer in `disc`.
small_disc() {
    rm -rf disc
    kov native new disc && kov native add disc/R14TRLR.TXT small/R14TRLR.TXT || fail "no disc"
}
# stopped_kov KIND SOURCE: kovdisc of KIND adds SOURCE to `disc`, stopped in the middle.
stopped_kov() {
    local base
    base=$(file_size disc/R14T5.AUD)
    start_kov "$1" add disc/R14TRLR.TXT "$2/R14TRLR.TXT"
    stop_mid_copy "$writer_pid" disc "$base" "$2"
}
# stopped_window: the window adds `kill` to an empty disc `killed`, stopped in the middle.
stopped_window() {
    rm -rf killed
    start_program
    wine_start "$driver" --start-add "$discs"
    driver_pid=$wine_pid
    stop_mid_copy "$program_pid" killed 92 kill
    finished "$driver_pid" "the driver starting an Add"
    driver_pid=""
}
# kovdisc.exe with kovdisc.exe.
kovdisc_pair() {
    small_disc
    stopped_kov exe long
    refused exe disc kovdisc.exe
    kill -CONT "$writer_pid"
    finished "$writer_pid" "the stopped kovdisc.exe"
    writer_pid=""
    verified disc small long

    stopped_kov exe longer
    kill_writer "$writer_pid" disc/R14T5.AUD
    retry_while_held exe add disc/R14TRLR.TXT longer/R14TRLR.TXT
    wait "$writer_pid" 2>/dev/null || true
    writer_pid=""
    verified disc small long longer
    note "kovdisc.exe killed mid-copy; the next kovdisc.exe add worked $free_ms ms after the" \
        "kill (tries refused: $held)"
}

# kovdisc.exe interrupted by Ctrl-C (Wine turns SIGINT into the console's event) in the middle of
# its one batch: it finishes the trailer under way, commits what it copied, says so and exits 130.
interrupted_kovdisc() {
    local base code line added
    small_disc
    base=$(file_size disc/R14T5.AUD)
    KOVDISC_BATCH_SECONDS=1000 start_kov exe add disc/R14TRLR.TXT three/R14TRLR.TXT
    wait_for_size disc/R14T5.AUD $((base + 1)) 30
    halt "$writer_pid"
    writing "$writer_pid" disc/R14T5.AUD
    added=$(((($(file_size disc/R14T5.AUD) - base) / (20000 * 3675)) + 1))
    ((added < 3)) || fail "kovdisc.exe was in its last trailer when it was stopped"
    kill -INT "$writer_pid"
    kill -CONT "$writer_pid"
    code=0
    wait "$writer_pid" || code=$?
    writer_pid=""
    line=$(tr -d '\r' <"$out/writer.err" | tail -n 1)
    local said="kovdisc: interrupted: added $added of 3; disc/R14TRLR.TXT now holds"
    [ "$code" -eq 130 ] && [ "$line" = "$said $((added + 1)) trailers." ] ||
        fail "kovdisc.exe interrupted: exit $code, $line"
    kov native check disc/R14TRLR.TXT || fail "the interrupted disc is not sound"
    grep -qF "sound: $((added + 1)) trailers" "$out/out.txt" ||
        fail "the interrupted disc holds $(cat "$out/out.txt")"
    only_the_disc disc
    note "kovdisc.exe interrupted (SIGINT, Wine's Ctrl-C) in its trailer $added of 3: it" \
        "committed $added and exited 130"
}

# The window first, kovdisc of KIND second.
window_first() {
    stopped_window
    refused "$1" killed "the window"
    kill -CONT "$program_pid"
    wine_run "$driver" --finish-add "$discs" || fail "the window's Add did not finish"
    finished "$program_pid" "the window"
    program_pid=""
    verified killed kill

    stopped_window
    kill_writer "$program_pid" killed/R14T5.AUD
    retry_while_held "$1" add killed/R14TRLR.TXT kill/R14TRLR.TXT
    wait "$program_pid" 2>/dev/null || true
    program_pid=""
    verified killed kill
    note "the window killed mid-Add; the next $1 kovdisc add worked $free_ms ms after the kill" \
        "(tries refused: $held)"
}

# kovdisc of KIND first, the window second.
window_second() {
    small_disc
    stopped_kov "$1" long
    start_program
    wine_run "$driver" --continue-refused "$discs\\disc" || fail "the window's Continue Disc"
    finished "$program_pid" "the window"
    program_pid=""
    unchanged disc "the window"
    note "the window's Continue Disc refused while $1 kovdisc, stopped $copied bytes into its" \
        "copy, held the disc; its Open Disc read it"
    kill -CONT "$writer_pid"
    finished "$writer_pid" "the stopped $1 kovdisc"
    writer_pid=""
    verified disc small long

    stopped_kov "$1" longer
    kill_writer "$writer_pid" disc/R14T5.AUD
    wait "$writer_pid" 2>/dev/null || true
    writer_pid=""
    start_program
    wine_run "$driver" --continue "$discs\\disc" || fail "the window's Continue Disc after the kill"
    finished "$program_pid" "the window"
    program_pid=""
    verified disc small long
    note "$1 kovdisc killed mid-copy; the window then continued the disc and cut the add"
}

started=$SECONDS
window_first exe
kovdisc_pair
interrupted_kovdisc
window_second exe
window_second native
window_first native
cd "$out"
rm -rf "$out/discs" "$out/held"
note "passed in $((SECONDS - started)) s"
