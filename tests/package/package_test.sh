#!/usr/bin/env bash
# Checks the Debian package: lintian and desktop-file-validate pass, its control fields, its
# files are exactly those of files.txt, and unpacked, its kovdisc runs, both manual pages render
# without warnings, and kovdisc.1 says everything the program's help texts say, in their order.
# Usage: package_test.sh DEB VERSION SOURCE_FOLDER
set -euo pipefail
deb=$1
version=$2
source_folder=$3
here=$(cd "$(dirname "$0")" && pwd)
source "$here/unpack_package.sh"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
tree=$scratch/tree
unpack_package "$deb" "$tree"
kovdisc=$tree/usr/bin/kovdisc
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

echo "lintian $(basename "$deb"):"
lintian --fail-on error,warning --pedantic --info "$deb" ||
    fail "lintian reports errors or warnings"
desktop-file-validate "$tree/usr/share/applications/kov-extractor.desktop" ||
    fail "desktop-file-validate rejects the menu entry"

[ "$(dpkg-deb -f "$deb" Package)" = kov-extractor ] || fail "the package is not kov-extractor"
[ "$(dpkg-deb -f "$deb" Version)" = "$version-1" ] || fail "the version is not $version-1"
# Wine for the window; what kovdisc links, as dpkg-shlibdeps found it.
depends=$(dpkg-deb -f "$deb" Depends)
for needed in 'wine, wine64, fonts-wine, ' 'libc6 (>= ' 'libstdc++6 (>= '; do
    [[ $depends == *"$needed"* ]] || fail "Depends ($depends) lacks $needed"
done

dpkg-deb -c "$deb" | awk '{ print $1, $2, $6 }' >"$scratch/files.txt"
diff -u "$here/files.txt" "$scratch/files.txt" || fail "the package's files differ from files.txt"

[ "$("$kovdisc" --version)" = "kovdisc $version" ] ||
    fail "kovdisc --version is not kovdisc $version"
# The listing of the kovdisc tests' disc without audio, as their golden file has it.
mkdir "$scratch/noaudio"
cp "$source_folder/tests/cli/discs/pair.txt" "$scratch/noaudio/R14TRLR.TXT"
awk '/^-- stdout$/ { on = 1; next } /^-- stderr$/ && on { exit } on' \
    "$source_folder/tests/cli/golden/list_no_audio.txt" >"$scratch/list.expected"
(cd "$scratch" && "$kovdisc" list noaudio/R14TRLR.TXT) >"$scratch/list.txt" ||
    fail "kovdisc list failed"
diff -u "$scratch/list.expected" "$scratch/list.txt" || fail "kovdisc list printed otherwise"

for page in kovdisc kov-extractor; do
    warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$tree/usr/share/man/man1/$page.1.gz" \
        2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man warns about $page.1: $warnings"
done

# Every line of a help text, blanks collapsed, must stand in the rendered kovdisc.1 after the
# one before it. Headings ("Options:") become the page's own; a usage line becomes a synopsis
# or a command's heading, ahead of the description, so it is looked for anywhere.
page=$(MANWIDTH=1000 man -E UTF-8 -l "$tree/usr/share/man/man1/kovdisc.1.gz" | col -bx |
    tr -s '[:space:]' ' ')
page_says() {
    local what=$1 rest=$page line
    while IFS= read -r line; do
        if [[ $line == "Usage: "* ]]; then
            [[ $page == *"${line#Usage: }"* ]] || fail "kovdisc.1 lacks the usage $line"
            continue
        fi
        line=$(tr -s '[:space:]' ' ' <<<"$line" | sed 's/^ //; s/ $//')
        if [[ -z $line || $line =~ ^[A-Za-z]+:$ ]]; then
            continue
        fi
        if [[ $rest != *"$line"* ]]; then
            fail "kovdisc.1 lacks this line of \"$what\", or has it out of order: $line"
            return
        fi
        rest=${rest#*"$line"}
    done
}
help=$("$kovdisc" --help)
page_says "kovdisc --help" <<<"$help"
commands=$(sed -n '/^Subcommands:$/,/^$/s/^  \([a-z][a-z-]*\)  .*/\1/p' <<<"$help")
for command in $commands; do
    page_says "kovdisc $command --help" < <("$kovdisc" "$command" --help)
done

if ((failures > 0)); then
    echo "$failures checks of the package failed."
    exit 1
fi
echo "The package passed every check: lintian, its menu entry, its fields and files, kovdisc,"
echo "and the manual pages of $(wc -w <<<"$commands") commands."
