#!/usr/bin/env bash
# wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
# Runs a Windows program under Wine in the prefix PREFIX, set to Wine's null graphics
# driver, so windows can be created without any display. Runs in one prefix take turns, and
# each waits for Wine's server to end before it returns.
set -u
source "$(dirname "$0")/../scripts/wine_prefix.sh"
unset DISPLAY WAYLAND_DISPLAY
wine_skip_unless_runs "$2"
use_wine_prefix "$1" null || exit 1
shift

wine_run "$@"
status=$?
end_wine_server
exit $status
