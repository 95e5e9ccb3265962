#!/usr/bin/env bash
# idle_test.sh PROGRAM
# The shipped window left alone costs nothing: over 10 s, the program and the Wine server each
# use at most 2% of a core (scripts/idle_cpu.sh measures it).
set -euo pipefail
test_name=idle
source "$(dirname "$0")/../lib.sh"
wine_skip_unless_runs "$1"
result=$("$kov_root/scripts/idle_cpu.sh" "$1" 10)
echo "$result"
read -r kind program server <<<"${result##*$'\n'}"
awk -v p="${program#program=}" -v s="${server#server=}" 'BEGIN { exit !(p <= 2 && s <= 2) }' &&
    [ "$kind" = idle ] || fail "the program or the Wine server used more than 2% of a core"
