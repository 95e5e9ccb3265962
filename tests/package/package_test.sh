#!/usr/bin/env bash
# Checks the Debian packages: for each, lintian passes, its control fields, and its files are
# exactly those of files-NAME.txt. kovdisc: it depends on nothing but the libraries its program
# links, on a machine without Wine apt would install it without any Wine package, and, unpacked,
# its kovdisc runs and its manual page says everything the program's help texts say, in their
# order. kov-extractor: its menu entry is valid, it depends on Wine and recommends kovdisc of the
# same version. Both: installed over the single kov-extractor of revision 1, which held kovdisc
# too, they take its place without a file conflict.
# Usage: package_test.sh VERSION SOURCE_FOLDER KOVDISC_DEB [KOV_EXTRACTOR_DEB] (KOV_EMULATOR, if
# set, runs a cross-built kovdisc here)
set -euo pipefail
version=$1
source_folder=$2
kovdisc_deb=$3
window_deb=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
test_name=packages
source "$here/../lib.sh"
source "$here/unpack_package.sh"

make_scratch
# The package revision the packages have: the newest entry of the changelog.
deb_version=$(dpkg-parsechangelog -l "$source_folder/packaging/changelog" -S Version)

# common DEB NAME: lintian, the fields every package has, and the files.
common() {
    local deb=$1 name=$2
    echo "lintian $(basename "$deb"):"
    lintian --fail-on error,warning --pedantic --info "$deb" ||
        fail "lintian reports errors or warnings on $name"
    [ "$(dpkg-deb -f "$deb" Package)" = "$name" ] || fail "$deb is not the package $name"
    [ "$(dpkg-deb -f "$deb" Version)" = "$deb_version" ] ||
        fail "$name's version is not $deb_version"
    [ "$(dpkg-deb -f "$deb" Source)" = kov-extractor ] || fail "$name's source is not kov-extractor"
    dpkg-deb -c "$deb" | awk '{ print $1, $2, $6 }' >"$scratch/$name-files.txt"
    diff -u "$here/files-$name.txt" "$scratch/$name-files.txt" ||
        fail "$name's files differ from files-$name.txt"
    unpack_package "$deb" "$scratch/$name"
}

# man_page_clean PAGE: renders without a warning.
man_page_clean() {
    local warnings
    warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$1" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man warns about $(basename "$1"): $warnings"
}

# ---- kovdisc
common "$kovdisc_deb" kovdisc
tree=$scratch/kovdisc
depends=$(dpkg-deb -f "$kovdisc_deb" Depends)
for needed in 'libc6 (>= ' 'libstdc++6 (>= '; do
    [[ $depends == *"$needed"* ]] || fail "kovdisc's Depends ($depends) lacks $needed"
done
# Every dependency is a library dpkg-shlibdeps found: no Wine, nothing else.
others=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//' | grep -v '^lib' || true)
[ -z "$others" ] || fail "kovdisc depends on more than its libraries: $others"
for field in Breaks Replaces; do
    [ "$(dpkg-deb -f "$kovdisc_deb" "$field")" = "kov-extractor (<< 1.2-2)" ] ||
        fail "kovdisc's $field is not kov-extractor (<< 1.2-2), which held kovdisc"
done
for library in $(readelf -d "$tree/usr/bin/kovdisc" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    case $library in
    libc.so.6 | libm.so.6 | libgcc_s.so.1 | libstdc++.so.6 | ld-linux-*.so.*) ;;
    *) fail "kovdisc links $library, beside the C and C++ runtime" ;;
    esac
done
# On a machine without Wine: apt, with no package installed at all, installs kovdisc and what
# it depends on, and none of that is Wine.
: >"$scratch/status"
apt-get -s -o Dir::State::status="$scratch/status" install "$(realpath "$kovdisc_deb")" \
    >"$scratch/apt.txt" 2>&1 || fail "apt cannot install kovdisc alone: $(cat "$scratch/apt.txt")"
installs=$(sed -n 's/^Inst \([^ ]*\) .*/\1/p' "$scratch/apt.txt" | sort | tr '\n' ' ')
echo "apt, on a machine with no package, would install: $installs"
[[ " $installs" == *" kovdisc"[:\ ]* ]] || fail "apt would not install kovdisc: $installs"
[[ $installs != *wine* ]] || fail "apt would install Wine with kovdisc: $installs"

# The package's kovdisc; a cross-built one runs here through KOV_EMULATOR.
kovdisc=(${KOV_EMULATOR:+"$KOV_EMULATOR"} "$tree/usr/bin/kovdisc")
[ "$("${kovdisc[@]}" --version)" = "kovdisc $version" ] ||
    fail "kovdisc --version is not kovdisc $version"
# The listing of the kovdisc tests' disc without audio, as their golden file has it.
mkdir "$scratch/noaudio"
cp "$source_folder/tests/cli/discs/pair.txt" "$scratch/noaudio/R14TRLR.TXT"
awk '/^-- stdout$/ { on = 1; next } /^-- stderr$/ && on { exit } on' \
    "$source_folder/tests/cli/golden/list_no_audio.txt" >"$scratch/list.expected"
(cd "$scratch" && "${kovdisc[@]}" list noaudio/R14TRLR.TXT) >"$scratch/list.txt" ||
    fail "kovdisc list failed"
diff -u "$scratch/list.expected" "$scratch/list.txt" || fail "kovdisc list printed otherwise"
man_page_clean "$tree/usr/share/man/man1/kovdisc.1.gz"

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
help=$("${kovdisc[@]}" --help)
page_says "kovdisc --help" <<<"$help"
commands=$(sed -n '/^Subcommands:$/,/^$/s/^  \([a-z][a-z-]*\)  .*/\1/p' <<<"$help")
for command in $commands; do
    page_says "kovdisc $command --help" < <("${kovdisc[@]}" "$command" --help)
done

# ---- kov-extractor
if [ -n "$window_deb" ]; then
    common "$window_deb" kov-extractor
    tree=$scratch/kov-extractor
    desktop-file-validate "$tree/usr/share/applications/kov-extractor.desktop" ||
        fail "desktop-file-validate rejects the menu entry"
    [ "$(dpkg-deb -f "$window_deb" Depends)" = "wine, wine64, fonts-wine" ] ||
        fail "kov-extractor's Depends are $(dpkg-deb -f "$window_deb" Depends)"
    [ "$(dpkg-deb -f "$window_deb" Recommends)" = "kovdisc (= $deb_version)" ] ||
        fail "kov-extractor does not recommend kovdisc (= $deb_version)"
    man_page_clean "$tree/usr/share/man/man1/kov-extractor.1.gz"

    # The upgrade from the one package of revision 1, which held the window and kovdisc, in a
    # dpkg database of its own: the stand-in of revision 1 holds every file both packages hold
    # now (the documentation under kov-extractor's name), and both packages, installed over it
    # in one run as apt does (kovdisc first, deconfiguring what it breaks), replace it without a
    # conflict.
    root=$scratch/root
    mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$scratch/old/DEBIAN"
    : >"$root/var/lib/dpkg/status"
    cp -a "$scratch/kov-extractor/." "$scratch/kovdisc/." "$scratch/old/"
    rm -r "$scratch/old/usr/share/doc/kovdisc"
    cat >"$scratch/old/DEBIAN/control" <<CONTROL
Package: kov-extractor
Version: $version-1
Architecture: amd64
Maintainer: $(dpkg-deb -f "$window_deb" Maintainer)
Description: the package of revision 1, kovdisc and the window
CONTROL
    dpkg-deb --root-owner-group -b "$scratch/old" "$scratch/old.deb" >/dev/null
    install_into_root() {
        dpkg --root="$root" --log=/dev/null --force-not-root --force-depends --auto-deconfigure \
            -i "$@" \
            >"$scratch/dpkg.txt" 2>&1
    }
    install_into_root "$scratch/old.deb" ||
        fail "the stand-in of revision 1 does not install: $(cat "$scratch/dpkg.txt")"
    if install_into_root "$kovdisc_deb" "$window_deb"; then
        owner=$(dpkg-query --admindir="$root/var/lib/dpkg" -S /usr/bin/kovdisc | cut -d: -f1)
        [ "$owner" = kovdisc ] || fail "after the upgrade /usr/bin/kovdisc belongs to $owner"
        echo "The upgrade from $version-1 gives kovdisc and kov-extractor $deb_version."
    else
        fail "the upgrade from kov-extractor $version-1: $(cat "$scratch/dpkg.txt")"
    fi
fi
echo "The packages passed every check: lintian, their fields and files, kovdisc,"
echo "the manual pages of $(wc -w <<<"$commands") commands${window_deb:+, the menu entry and the upgrade from $version-1}."
