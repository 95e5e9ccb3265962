#!/usr/bin/env bash
# wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
# Runs a Windows program under Wine in the private prefix PREFIX, creating the prefix on first
# use with the null graphics driver, so windows can be created without any display. Runs in
# one prefix take turns, and each waits for Wine's server to end before it returns.
set -u
prefix=$1
shift
mkdir -p "$(dirname "$prefix")"
export WINEPREFIX=$prefix
export WINEDEBUG=-all
export WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono or Gecko installer prompts
unset DISPLAY WAYLAND_DISPLAY

exec 9>"$prefix.lock"
flock 9

if [ ! -f "$prefix/.null-driver" ]; then
    wineboot --init >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    wineserver --wait
    touch "$prefix/.null-driver"
fi

wine "$@"
status=$?
# Wine's server lingers a few seconds after its last program; end it with this run.
timeout 30 wineserver --wait || wineserver --kill
exit $status
