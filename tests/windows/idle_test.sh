#!/usr/bin/env bash
# idle_test.sh PROGRAM
# The shipped window left alone costs nothing: over 10 s, the program and the Wine server each
# use at most 2% of a core (scripts/idle_cpu.sh measures it).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/wine_prefix.sh"
wine_skip_unless_runs "$1"
result=$("$root/scripts/idle_cpu.sh" "$1" 10)
echo "$result"
last=${result##*$'\n'}
awk -v line="$last" 'BEGIN {
    split(line, words, /[ =]/)
    if (words[1] != "idle" || words[3] > 2 || words[5] > 2) {
        print "FAILED: idle, the program or the Wine server used more than 2% of a core"
        exit 1
    }
}'
