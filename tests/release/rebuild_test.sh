#!/usr/bin/env bash
# rebuild_test.sh [--second-only | --compare-only] FOLDER
# Builds the release artefacts twice from the same sources and fails on any byte that differs.
# The first build is the tree's own (build/windows-x86, build/windows-x64, build/deb and
# build/deb-arm64, as the README's commands make them); the second is a copy of the same sources
# at the same commit in FOLDER, a folder of another depth, built with another time zone, locale
# and umask, and with no SOURCE_DATE_EPOCH: each build takes its date from the commit, and the
# clock has moved on between the two. Compared: both Windows zips, their SHA-256 files and every
# program in them, and every Debian package, amd64 and arm64. Prints "same: NAME" or
# "DIFFERENT: NAME" for each (with what diffoscope finds, where it is installed), then
# "N passed, M failed".
# --second-only makes the second build alone, and --compare-only the first build and the
# comparison with a second build made before: scripts/test.sh makes the second build while the
# suites run, at the lowest priority, where the suites leave a core idle.
set -euo pipefail
test_name=rebuild_test
source "$(dirname "$0")/../lib.sh"
mode=both
case ${1:-} in
--second-only) mode=second ;;
--compare-only) mode=compare ;;
esac
[ "$mode" = both ] || shift
cd "$(dirname "$0")/../.."
root=$PWD
copy=$(realpath -m "$1")/a/deeper/folder/of/the/sources

source scripts/packages.sh
# The arm64 package only where its cross-build packages are installed.
no_arm64=$(arm64_absent) || true

# build_release: the release targets of every preset, in the current folder. The package
# targets build only what is missing; the Debian package takes the window of windows-x64.
build_release() {
    local preset
    for preset in windows-x86 windows-x64; do
        cmake --preset "$preset" >/dev/null
        # Only the programs for users and their zip, none of the test programs.
        cmake --build --preset "$preset" --target package -j"$(nproc)" >/dev/null
    done
    cmake --workflow --preset deb >/dev/null
    if [ -z "$no_arm64" ]; then cmake --workflow --preset deb-arm64 >/dev/null; fi
}

# second_build: the copy of the sources, built in another setting.
second_build() {
    # The same sources: a clone at the same commit (its history dates the build), with the
    # files of the tree as they are now, changed or new, laid over it.
    rm -rf "$copy"
    mkdir -p "$(dirname "$copy")"
    git clone --quiet --shared --no-checkout "$root" "$copy"
    git -C "$copy" checkout --quiet "$(git rev-parse HEAD)"
    git ls-files -z --cached --others --exclude-standard |
        while IFS= read -r -d '' file; do
            if [ -e "$file" ]; then printf '%s\0' "$file"; fi
        done |
        tar --null --files-from=- -cf - | tar -xf - -C "$copy"

    # Another setting. TZ as a POSIX rule needs no zone files: UTC+14.
    local locale
    if [ "${LC_ALL:-${LANG:-}}" = C.UTF-8 ]; then locale=C; else locale=C.UTF-8; fi
    (
        cd "$copy"
        umask 0077
        export TZ=KOV-14 LC_ALL=$locale LANG=$locale
        unset SOURCE_DATE_EPOCH
        build_release
    ) || fail "the second build failed"
}

if [ "$mode" != compare ]; then
    second_build
    [ "$mode" = both ] || exit 0
fi
build_release

passed=0
failed=0
# compare NAME FIRST SECOND
compare() {
    if cmp -s "$2" "$3"; then
        echo "same: $1"
        passed=$((passed + 1))
        return
    fi
    echo "DIFFERENT: $1: $2 and $3"
    if command -v diffoscope >/dev/null; then
        diffoscope --text - --no-progress "$2" "$3" | head -n 60 || true
    else
        cmp "$2" "$3" | head -n 1 || true
    fi
    failed=$((failed + 1))
}
for preset in windows-x86 windows-x64; do
    build=build/$preset
    [ "$preset" = windows-x86 ] && kind=win32 || kind=win64
    zip=$(cd "$build" && ls KOVExtractor-*-"$kind".zip)
    compare "$zip" "$build/$zip" "$copy/$build/$zip"
    compare "$zip.sha256" "$build/$zip.sha256" "$copy/$build/$zip.sha256"
    for program in KOVExtractor.exe kovdisc.exe; do
        compare "$program ($kind)" "$build/$program" "$copy/$build/$program"
    done
done
# The packages the builds make now: the tree's folders may also hold older ones.
if [ -n "$no_arm64" ]; then echo "not built: kovdisc_*_arm64.deb: $no_arm64"; fi
for package in "$copy"/build/deb/*.deb "$copy"/build/deb-arm64/*.deb; do
    [ -e "$package" ] || continue
    name=${package#"$copy"/}
    compare "$(basename "$name")" "$name" "$package"
done
echo "$passed passed, $failed failed"
((failed == 0))
