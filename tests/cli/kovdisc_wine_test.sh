#!/usr/bin/env bash
# kovdisc_wine_test.sh KOVDISC_EXE MAKE_SAMPLE_DISC_EXE WORK_FOLDER EMULATOR...
# The Windows kovdisc under Wine, with Windows paths: lists a sample disc as JSON, creates a
# disc, refuses a bad PICK with exit code 2, adds one trailer and checks the disc.
set -euo pipefail
kovdisc=$1
sample=$2
work=$3
shift 3
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() {
    echo "FAILED: $*"
    exit 1
}

"$@" "$sample" source --trailers 3 --seconds 2 >/dev/null
"$@" "$kovdisc" list --json 'source\R14TRLR.TXT' >source.json
grep -q '"count": 3' source.json || fail "list --json: $(cat source.json)"
"$@" "$kovdisc" new disc >/dev/null

status=0
"$@" "$kovdisc" add 'disc\R14TRLR.TXT' 'source\R14TRLR.TXT' '#4' 2>error.txt || status=$?
[ "$status" -eq 2 ] || fail "add #4 of 3 trailers: exit code $status"
grep -q '^kovdisc: #4 is not a trailer' error.txt || fail "add #4: $(cat error.txt)"

"$@" "$kovdisc" add 'disc\R14TRLR.TXT' source/R14TRLR.TXT '#2' >add.txt 2>/dev/null
grep -q 'now holds 1 trailer\.' add.txt || fail "add: $(cat add.txt)"
"$@" "$kovdisc" check 'disc\R14TRLR.TXT' >/dev/null || fail "check after the add"
"$@" "$kovdisc" list --json 'disc\R14TRLR.TXT' >disc.json
# The disc's one trailer is the source's second.
[ "$(grep '"name"' disc.json)" = "$(grep '"name"' source.json | sed -n 2p)" ] ||
    fail "the added trailer: $(cat disc.json)"
echo "kovdisc.exe under Wine: list, new, add and check passed"
