#!/usr/bin/env bash
# kovdisc_wine_test.sh KOVDISC_EXE MAKE_SAMPLE_DISC_EXE WORK_FOLDER EMULATOR...
# The Windows kovdisc under Wine, on the fixed discs of the native tests, every command with
# drive-relative names, with `\` and `/`: the disc's folder is current on drive C: and kovdisc
# runs in WORK_FOLDER, on drive Z:, so C:R14TRLR.TXT names the index in the disc's folder and
# C:R14T5.AUD the audio beside it.
# Every command runs in one Wine session, a batch file, as Wine takes seconds to start.
#
# The transcript must match tests/cli/golden/wine_drive_relative.txt byte for byte; it has the
# layout of the native golden files, with the folder current on drive C: before each "$", and
# Windows line ends where kovdisc.exe wrote them. KOV_UPDATE_GOLDEN=1 rewrites it. The audio of
# the disc kovdisc.exe wrote must be the source's blocks, and 0xFF bytes past its end.
set -euo pipefail
kovdisc=$1
sample=$2
work=$3
shift 3
test_name="kovdisc.exe under Wine"
source "$(dirname "$0")/../lib.sh"
here=$kov_root/tests/cli
golden=$here/golden/wine_drive_relative.txt
wine_skip_unless_runs "$kovdisc" "$sample"
rm -rf "$work"
mkdir -p "$work"
cd "$work"
cp "$kovdisc" kovdisc.exe
cp "$sample" make_sample_disc.exe
cp "$here"/discs/source.txt "$here"/discs/wrapped.txt .

top='C:\kovdisc-wine'
count=0
folders=()
commands=()
{
    printf '@echo off\r\n'
    printf 'set WORK=%%CD%%\r\n'
    printf 'rmdir /s /q %s 2>NUL\r\n' "$top"
    printf 'mkdir %s\\source %s\\wrapped\r\n' "$top" "$top"
    printf 'make_sample_disc.exe %s\\source --trailers 1 --fixed-units 150 >NUL\r\n' "$top"
    printf 'copy /y source.txt %s\\source\\R14TRLR.TXT >NUL\r\n' "$top"
    printf 'copy /y wrapped.txt %s\\wrapped\\R14TRLR.TXT >NUL\r\n' "$top"
    printf 'copy /y %s\\source\\R14T5.AUD %s\\wrapped\\R14T5.AUD >NUL\r\n' "$top" "$top"
} >run.bat

# run FOLDER ARGUMENTS...: kovdisc with FOLDER (below $top) current on drive C:.
# cmd sets 9009, which kovdisc never returns, when Wine could not create the process at all:
# Wine's own failure, seen once in a long session, before kovdisc.exe ran a single instruction.
# Such a command is started again, at most twice, and each time is noted in unstarted.txt.
run() {
    local folder=$top${1:+\\$1}
    shift
    count=$((count + 1))
    folders+=("$folder")
    commands+=("$*")
    printf 'cd /d %s\r\ncd /d %%WORK%%\r\n' "$folder" >>run.bat
    printf 'set TRIES=0\r\n:run%d\r\n' $count >>run.bat
    printf 'kovdisc.exe %s >out%d.txt 2>err%d.txt\r\n' "$*" $count $count >>run.bat
    printf 'set CODE=%%ERRORLEVEL%%\r\n' >>run.bat
    printf 'if not "%%CODE%%"=="9009" goto ran%d\r\n' $count >>run.bat
    printf '>>unstarted.txt echo %d\r\nset /a TRIES+=1\r\n' $count >>run.bat
    printf 'if %%TRIES%% LSS 3 goto run%d\r\n' $count >>run.bat
    printf ':ran%d\r\n>code%d.txt echo %%CODE%%\r\n' $count $count >>run.bat
}

run source list C:R14TRLR.TXT
run source list --json C:R14TRLR.TXT
run '' new C:disc
run disc add C:R14TRLR.TXT 'C:..\source\R14TRLR.TXT' zebra '#5' PART
run disc add C:R14TRLR.TXT 'C:..\source\R14TRLR.TXT' '#99999999999999999999'
run disc add C:R14TRLR.TXT 'C:..\wrapped\R14TRLR.TXT' Good Wrap
run disc check C:R14TRLR.TXT
run disc check --repair C:R14TRLR.TXT
run disc list C:R14TRLR.TXT
run disc copy C:R14TRLR.TXT 'C:.\' --force
run disc copy C:R14TRLR.TXT 'C:..\fixed\' --except '#1'
run fixed verify C:R14TRLR.TXT 'C:../source/R14TRLR.TXT'
run fixed verify --json C:R14TRLR.TXT 'C:..\wrapped\R14TRLR.TXT'
printf 'copy /b %s\\disc\\R14TRLR.TXT disc-index.txt >NUL\r\n' "$top" >>run.bat
printf 'copy /b %s\\disc\\R14T5.AUD disc-audio.bin >NUL\r\n' "$top" >>run.bat
printf 'copy /b %s\\source\\R14T5.AUD source-audio.bin >NUL\r\n' "$top" >>run.bat
# An add that never finished: CR LF after the last trailer, which check --repair cuts off.
printf 'copy /b %s\\disc\\R14T5.AUD + crlf.txt tail.bin >NUL\r\n' "$top" >>run.bat
printf 'copy /b /y tail.bin %s\\disc\\R14T5.AUD >NUL\r\n' "$top" >>run.bat
run disc check --repair C:R14TRLR.TXT
# The index emptied: recover finds its trailers again and writes the index the disc had.
printf 'type nul >%s\\disc\\R14TRLR.TXT\r\n' "$top" >>run.bat
run disc recover C:R14TRLR.TXT 'C:..\source\R14TRLR.TXT' 'C:../wrapped/R14TRLR.TXT' --write
printf 'copy /b %s\\disc\\R14TRLR.TXT recovered-index.txt >NUL\r\n' "$top" >>run.bat
printf 'rmdir /s /q %s\r\n' "$top" >>run.bat
# Each run's exit code is kept in its file; the session's own is of no interest.
printf 'exit /b 0\r\n' >>run.bat
printf '\r\n' >crlf.txt

"$@" cmd /c run.bat
if [ -f unstarted.txt ]; then
    echo "Wine could not start kovdisc.exe, and it was started again, for the commands" \
        "numbered: $(tr -d '\r' <unstarted.txt | tr '\n' ' ')"
fi

# show FILE: what the session left in FILE, which a failure may not have written.
show() {
    if [ -f "$1" ]; then cat "$1"; else printf '(no %s)\n' "$1"; fi
}
transcript=$work/transcript.txt
{
    for i in $(seq $count); do
        printf '%s$ kovdisc %s\n' "${folders[i - 1]}" "${commands[i - 1]}"
        printf -- '-- exit %s\n-- stdout\n' "$(show code$i.txt | tr -d '\r\n ')"
        show out$i.txt
        printf -- '-- stderr\n'
        show err$i.txt
    done
    printf -- '-- file disc\\R14TRLR.TXT\n'
    show disc-index.txt
} >"$transcript"

expect_golden "$transcript" "$golden"

# Zebra, twin and Part, the source's blocks from OFFSET plus START; Part runs 20425 bytes past
# the end of the source's audio.
audio=$work/expected-audio.bin
source_audio=$work/source-audio.bin
block() {
    dd if="$source_audio" iflag=skip_bytes,count_bytes skip="$1" count="$2" status=none
}
{
    head -c 92 "$source_audio"
    block 92 73500
    block $((290417 + 2 * 3675)) $((59 * 3675))
    block $((531342 + 3675)) $((10 * 3675))
    dd if=/dev/zero bs=20425 count=1 status=none | tr '\0' '\377'
} >"$audio"
cmp "$audio" disc-audio.bin 2>&1 || fail "the audio kovdisc.exe added differs from the source's blocks"
cmp disc-index.txt recovered-index.txt 2>&1 ||
    fail "the index recover wrote differs from the one the disc had"
note "every command with drive-relative names passed"
