# Sourced by the shell tests under tests/: the steps they share. A test sets `test_name`, the
# name its messages begin with, then sources this file:
#   fail MESSAGE...           the test fails at once: "NAME: MESSAGE" (and `fail_hint`, where
#                             set) on standard error, exit 1
#   note MESSAGE...           "NAME: MESSAGE" on standard output
#   at_exit COMMAND           run when the test ends, pass or fail, the latest first
#   make_scratch              a folder of the test's own in `scratch`, removed at the end
#   test_display WxH          a virtual display (DISPLAY), stopped at the end
#   test_wine_prefix PREFIX MODE
#                             the Wine prefix (use_wine_prefix), its server ended at the end
#   file_size FILE            its size in bytes; 0 while it does not exist
#   wait_for_size FILE BYTES SECONDS [PID]
#                             waits until FILE holds at least BYTES bytes; fails after SECONDS,
#                             or once process PID, if given, has ended
#   wait_for_window TITLE SECONDS [PID]
#                             prints the id of the window titled TITLE (a pattern) once one is
#                             shown; fails the same way
#   expect_golden TRANSCRIPT GOLDEN
#                             fails, showing the difference, unless the files are the same;
#                             KOV_UPDATE_GOLDEN=1 copies TRANSCRIPT over GOLDEN instead
# A test that runs Windows programs gets scripts/wine_prefix.sh's functions too.

kov_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$kov_root/scripts/wine_prefix.sh"
source "$kov_root/scripts/virtual_display.sh"

exit_steps=()
at_exit() { exit_steps+=("$1"); }
run_exit_steps() {
    local status=$? i
    for ((i = ${#exit_steps[@]} - 1; i >= 0; --i)); do
        eval "${exit_steps[i]}" || true
    done
    exit "$status"
}
trap run_exit_steps EXIT
trap 'exit 1' INT TERM HUP

fail() {
    echo "$test_name: $*${fail_hint:+; $fail_hint}" >&2
    exit 1
}
note() { echo "$test_name: $*"; }

make_scratch() {
    scratch=$(mktemp -d)
    at_exit 'rm -rf "$scratch"'
}

test_display() {
    unset WAYLAND_DISPLAY
    start_virtual_display "$1"
    at_exit stop_virtual_display
}

test_wine_prefix() {
    use_wine_prefix "$1" "$2"
    at_exit end_wine_server
}

file_size() { stat -c %s "$1" 2>/dev/null || echo 0; }

wait_for_size() {
    local deadline=$((SECONDS + $3))
    while (($(file_size "$1") < $2)); do
        ((SECONDS < deadline)) || fail "$1 did not reach $2 bytes in $3 s"
        if [ -n "${4:-}" ] && ! kill -0 "$4" 2>/dev/null; then
            fail "$1 did not reach $2 bytes: process $4 ended first"
        fi
        sleep 0.005
    done
}

wait_for_window() {
    local deadline=$((SECONDS + $2)) window=""
    while [ -z "$window" ]; do
        ((SECONDS < deadline)) || fail "no window titled $1 appeared in $2 s"
        if [ -n "${3:-}" ] && ! kill -0 "$3" 2>/dev/null; then
            fail "no window titled $1 appeared: process $3 ended first"
        fi
        window=$(xdotool search --name "$1" 2>/dev/null | head -n 1 || true)
        [ -n "$window" ] || sleep 0.2
    done
    echo "$window"
}

expect_golden() {
    if [ "${KOV_UPDATE_GOLDEN:-}" = 1 ]; then
        cp "$1" "$2"
    elif ! cmp -s "$1" "$2"; then
        diff "$2" "$1" || true
        fail "the transcript differs from $2"
    fi
}
