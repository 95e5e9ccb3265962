#!/usr/bin/env bash
# named_folders_test.sh KOVDISC MAKE_SAMPLE_DISC WORK_FOLDER
# kovdisc in folders named in four scripts (Japanese, Cyrillic, an emoji, accented Latin): list,
# new, add, check, copy, verify and recover, with the names in their arguments, in what they
# open, create and rename, and in what they print. KOVDISC is the native kovdisc or kovdisc.exe,
# which runs under Wine (as does MAKE_SAMPLE_DISC if it is a .exe); the programs run in
# WORK_FOLDER with names relative to it.
#
# The transcript must match tests/cli/golden/named_folders.txt byte for byte, with Windows line
# ends and `\` turned into LF and `/`: both builds and the native one print the same UTF-8.
# Every JSON output must parse. KOV_UPDATE_GOLDEN=1 rewrites the golden file.
set -euo pipefail
test_name="named folders"
source "$(dirname "$0")/../lib.sh"
kovdisc=$(realpath "${KOV_KOVDISC:-$1}") # KOV_KOVDISC: one for another machine, run emulated
sample=$(realpath "$2")
work=$3
golden=$kov_root/tests/cli/golden/named_folders.txt
names=("トレーラー" "Трейлеры" "Reel 🎬" "Café crème")

if [[ $kovdisc == *.exe ]]; then
    wine_skip_unless_runs "$kovdisc" "$sample"
    unset DISPLAY WAYLAND_DISPLAY
    test_wine_prefix "$kov_root/build/wine/null" null
fi
# program PROGRAM ARGUMENTS...: runs it, under Wine if it is a Windows program.
program() {
    if [[ $1 == *.exe ]]; then wine_run "$@"; else "$@"; fi
}

rm -rf "$work"
mkdir -p "$work"
cd "$work"
program "$sample" sample --trailers 2 --fixed-units 40 --seed 7 >/dev/null

transcript=$work/transcript.txt
: >"$transcript"
# run ARGUMENTS...: kovdisc with them, its exit code and outputs into the transcript.
run() {
    local code=0
    program "$kovdisc" "$@" >out.txt 2>err.txt || code=$?
    {
        printf '$ kovdisc %s\n-- exit %d\n-- stdout\n' "$*" "$code"
        cat out.txt
        printf -- '-- stderr\n'
        cat err.txt
    } >>"$transcript"
    if [[ " $* " == *" --json "* ]] && ! /usr/bin/python3 -c 'import json, sys; json.load(sys.stdin)' 2>/dev/null \
        <out.txt; then
        fail "kovdisc $* printed no JSON"
    fi
}

for name in "${names[@]}"; do
    mkdir "$name"
    cp -r sample "$name/source"
    run list "$name/source/R14TRLR.TXT"
    run new "$name/disc"
    run add "$name/disc/R14TRLR.TXT" "$name/source/R14TRLR.TXT"
    run check "$name/disc/R14TRLR.TXT"
    run copy "$name/disc/R14TRLR.TXT" "$name/copy" '#2'
    run verify --json "$name/copy/R14TRLR.TXT" "$name/source/R14TRLR.TXT"
    : >"$name/disc/R14TRLR.TXT"
    run recover "$name/disc/R14TRLR.TXT" "$name/source/R14TRLR.TXT" --write
    run list --json "$name/disc/R14TRLR.TXT"
    printf -- '-- files %s\n' "$name" >>"$transcript"
    (cd "$name" && find . -type f | LC_ALL=C sort) >>"$transcript"
done
tr -d '\r' <"$transcript" | tr '\\' / >normalised.txt

expect_golden normalised.txt "$golden"
iconv -f UTF-8 -t UTF-8 "$transcript" >/dev/null || fail "kovdisc printed something that is not UTF-8"
note "every command passed"
