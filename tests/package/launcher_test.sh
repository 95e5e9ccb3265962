#!/usr/bin/env bash
# The package's launcher, run from the unpacked package with a home and data folder of its own:
# without a display, and without Wine, it says so in one line and exits 1, making no prefix; on
# a virtual display it makes its Wine prefix in the data folder, with Wine's fonts, and opens
# the window, found by its title as the end-to-end test finds it; closed, it exits 0, leaving
# nothing else behind.
# Usage: launcher_test.sh DEB
set -euo pipefail
deb=$1
here=$(cd "$(dirname "$0")" && pwd)
test_name=launcher
source "$here/../lib.sh"
source "$here/unpack_package.sh"

make_scratch
prefix=$scratch/data/kov-extractor
launcher_pid=""
stop_launcher() {
    if [ -n "$launcher_pid" ]; then
        kill "$launcher_pid" 2>/dev/null || true
        wait "$launcher_pid" 2>/dev/null || true
    fi
    # The Wine server of this test's own prefix, and the programs it still runs.
    if [ -d "$prefix" ]; then
        WINEPREFIX=$prefix wineserver --kill 2>/dev/null || true
    fi
}
at_exit stop_launcher
unpack_package "$deb" "$scratch/tree"
mkdir "$scratch/home" "$scratch/data"
launch() {
    HOME=$scratch/home XDG_DATA_HOME=$scratch/data "$scratch/tree/usr/bin/kov-extractor" "$@"
}

code=0
said=$(
    unset DISPLAY
    launch 2>&1
) || code=$?
echo "without a display: exit $code, \"$said\""
[ "$code" -eq 1 ] || fail "without a display the launcher exits $code, not 1"
[[ $said == "kov-extractor: no display"* && $said != *$'\n'* ]] ||
    fail "without a display the launcher does not say so in one line"
[ ! -e "$prefix" ] || fail "without a display the launcher made its prefix"

# Without Wine: Wine's loaders hidden, in a mount namespace of this test's own, and a PATH of the
# two commands the launcher runs before it looks for Wine.
mkdir "$scratch/bin" "$scratch/empty"
ln -s "$(command -v dirname)" "$(command -v readlink)" "$scratch/bin/"
code=0
said=$(HOME=$scratch/home XDG_DATA_HOME=$scratch/data unshare --mount \
    bash -c 'mount --bind "$1" /usr/lib/wine && PATH=$2 "$3" 2>&1' without-wine \
    "$scratch/empty" "$scratch/bin" "$scratch/tree/usr/bin/kov-extractor") || code=$?
echo "without Wine: exit $code, \"$said\""
[ "$code" -eq 1 ] || fail "without Wine the launcher exits $code, not 1"
[[ $said == "kov-extractor: Wine is not installed"* && $said != *$'\n'* ]] ||
    fail "without Wine the launcher does not say so in one line"
[ ! -e "$prefix" ] || fail "without Wine the launcher made its prefix"

test_display 1024x768
started=$SECONDS
launch >"$scratch/launcher.log" 2>&1 &
launcher_pid=$!
(wait_for_window '^KOV Extractor v1\.2$' 90 "$launcher_pid") >/dev/null 2>&1 ||
    fail "the window did not appear; the launcher said: $(cat "$scratch/launcher.log")"
echo "The window appeared $((SECONDS - started)) s after the launcher's first start."
# Close it as its close box would: Wine's taskkill asks the window to close.
loader=/usr/lib/wine/wine64
[ -x "$loader" ] || loader=wine
WINEPREFIX=$prefix WINELOADER=$loader WINEDEBUG=-all "$loader" taskkill /im KOVExtractor.exe \
    >/dev/null 2>&1 || fail "Wine's taskkill could not close the window"
code=0
timeout 30 tail --pid="$launcher_pid" -f /dev/null || fail "the program did not end when closed"
wait "$launcher_pid" || code=$?
launcher_pid=""
[ "$code" -eq 0 ] || fail "the launcher exited $code once the window was closed"

[ -f "$prefix/drive_c/windows/Fonts/marlett.ttf" ] || fail "the prefix lacks Wine's fonts"
# Nothing but the prefix: no ~/.wine, and no menu entries or file types of Wine's own.
left=$(cd "$scratch" && find home data -mindepth 1 -maxdepth 1 | LC_ALL=C sort | paste -sd ' ')
[ "$left" = "data/kov-extractor" ] || fail "the launcher left $left"
echo "The launcher said it had no display and no Wine, and opened and closed the window in its"
echo "own prefix."
