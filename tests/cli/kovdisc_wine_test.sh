#!/usr/bin/env bash
# kovdisc_wine_test.sh KOVDISC_EXE MAKE_SAMPLE_DISC_EXE WORK_FOLDER EMULATOR...
# The Windows kovdisc under Wine, with Windows paths: lists a sample disc as JSON, creates a
# disc, refuses a bad PICK with exit code 2, adds one trailer and checks the disc, then copies
# the disc and verifies the copy.
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

# copy and verify with Windows paths. The disc then holds the source's #2, #1 and #3; the copy
# leaves out the disc's first and must match the source, until one byte of it is changed.
"$@" "$kovdisc" add 'disc\R14TRLR.TXT' 'source\R14TRLR.TXT' >/dev/null 2>&1
status=0
"$@" "$kovdisc" copy 'disc\R14TRLR.TXT' 'disc\' --force 2>/dev/null || status=$?
[ "$status" -eq 2 ] || fail "copy into the disc's own folder: exit code $status"
"$@" "$kovdisc" copy 'disc\R14TRLR.TXT' 'fixed\' --except '#1' >copy.txt 2>/dev/null
grep -q 'copied 2, skipped 0; fixed\\R14TRLR\.TXT holds 2 trailers\.' copy.txt ||
    fail "copy: $(cat copy.txt)"
"$@" "$kovdisc" verify 'fixed\R14TRLR.TXT' 'source\R14TRLR.TXT' >verify.txt ||
    fail "verify of the copy: $(cat verify.txt)"
grep -q '^2 ok, 0 differ, 0 without a source' verify.txt || fail "verify: $(cat verify.txt)"
byte=$(od -An -tu1 -j100 -N1 fixed/R14T5.AUD)
printf "\\$(printf %o $(((byte + 1) % 256)))" |
    dd of=fixed/R14T5.AUD bs=1 seek=100 count=1 conv=notrunc 2>/dev/null
status=0
"$@" "$kovdisc" verify 'fixed\R14TRLR.TXT' source/R14TRLR.TXT >verify.txt || status=$?
[ "$status" -eq 1 ] || fail "verify of a changed copy: exit code $status"
grep -q 'differs: 1 byte, the first at byte 8 of the block' verify.txt ||
    fail "verify of a changed copy: $(cat verify.txt)"
echo "kovdisc.exe under Wine: list, new, add, check, copy and verify passed"
