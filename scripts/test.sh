#!/usr/bin/env bash
# Installs what is missing, then configures, builds and runs every test suite there is. It ends
# with a summary: for each build, the suites that passed, failed and were skipped, and why any
# was skipped. Exits 1 if any suite failed.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install_packages.sh
source scripts/packages.sh
source scripts/wine_prefix.sh
# What this machine cannot run, and why: each is said where it leaves something out.
no_32bit=$(wine_32bit_missing) || true
no_arm64=$(arm64_absent) || true

logs=build/test-logs
mkdir -p "$logs"
# The release artefacts' second build, from a copy of the same sources in another folder and
# setting, made while the rest runs, at the lowest priority: it takes the time a core is idle.
# Its artefacts are compared with the tree's own at the end.
# It runs in a process group of its own (job control), ended with the script should the script
# end first; not in a session of its own, where the kernel's per-session scheduling would give it
# an equal share whatever its priority.
set -m
nice -n 19 ionice -c 3 tests/release/rebuild_test.sh --second-only build/rebuild \
    >"$logs/rebuild-second.log" 2>&1 &
second_build=$!
set +m
trap 'kill -- -"$second_build" 2>/dev/null || true' EXIT

# Every artefact is built once: the packages take the programs the builds before them made, and
# the arm64 suites run the arm64 package's kovdisc.
jobs=$(nproc)
for preset in native windows-x86 windows-x64; do
    cmake --preset "$preset"
    if [ "$preset" = windows-x86 ] && [ -n "$no_32bit" ]; then
        # Only its release_tests can run here, and they read the programs for users alone.
        cmake --build --preset "$preset" --target programs -j"$jobs"
    else
        cmake --build --preset "$preset" -j"$jobs"
    fi
done
# The Debian packages, built as the README says.
deb_built=true
cmake --workflow --preset deb || deb_built=false
deb_arm64_built=false
if [ -z "$no_arm64" ] && cmake --workflow --preset deb-arm64; then deb_arm64_built=true; fi

failures=0
# The summary: a line for each build, in the order they ran.
builds=()
declare -A lines

# note BUILD WHAT NAMES...: adds "WHAT N: NAMES" to BUILD's line of the summary, if any names.
note() {
    local build=$1 what=$2 list
    shift 2
    (($# > 0)) || return 0
    list=$(printf ', %s' "$@")
    [ -n "${lines[$build]+set}" ] || builds+=("$build")
    lines[$build]+="${lines[$build]:+; }$what $#: ${list:2}"
}

# suites BUILD COMMAND...: runs COMMAND, a ctest, its output also in the build's log, and notes
# which suites passed, which failed and which were skipped, with the reason each skipped suite
# printed ("NAME skipped: REASON", kept in the build folder's LastTest.log).
suites() {
    local build=$1 log
    shift
    log=$logs/${build// /-}.log
    "$@" 2>&1 | tee "$log" || true
    # Each finished suite is a line "N/M Test #K: NAME ....   Passed   T sec" (or ***Failed...,
    # ***Skipped...).
    local passed=() failed=() skipped=() name reason
    local outputs
    outputs=$(sed -nE 's/^Test project (.*)$/\1/p' "$log" | head -1)/Testing/Temporary/LastTest.log
    mapfile -t passed < <(sed -nE 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) .* Passed .*/\1/p' "$log")
    mapfile -t failed < <(grep -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: ' "$log" |
        grep -vE ' Passed |\*\*\*Skipped ' |
        sed -nE 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) .*/\1/p')
    while read -r name; do
        reason=$(sed -nE "s/^$name skipped: //p" "$outputs" 2>/dev/null | head -1 || true)
        skipped+=("$name (${reason:-no reason given})")
    done < <(sed -nE 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) .*\*\*\*Skipped .*/\1/p' "$log")
    if ! grep -qE '^(100% tests passed|No tests were found)' "$log" && ((${#failed[@]} == 0)); then
        failed=("ctest itself (see $log)")
    fi
    note "$build" passed "${passed[@]}"
    note "$build" FAILED "${failed[@]}"
    note "$build" skipped "${skipped[@]}"
    failures=$((failures + ${#failed[@]}))
}

# all_suites PRESET: the names of the preset's suites.
all_suites() {
    ctest --preset "$1" -N | sed -nE 's/^ *Test +#[0-9]+: ([^ ]+)$/\1/p'
}

suites native ctest --preset native

# The 32-bit programs users get first, then the same suites on the 64-bit build.
if [ -z "$no_32bit" ]; then
    suites windows-x86 ctest --preset windows-x86
else
    suites windows-x86 ctest --preset windows-x86 -R '^release_tests$'
    mapfile -t skipped < <(all_suites windows-x86 | grep -vx release_tests)
    note windows-x86 skipped "${skipped[@]}"
    lines[windows-x86]+=" ($no_32bit)"
fi
suites windows-x64 ctest --preset windows-x64
# Wine runs 64-bit programs by another road where 32-bit programs cannot run at all: on a machine
# that runs them, the Wine suites of the 64-bit build run once more as on one that cannot.
other_kind="windows-x64 without 32-bit"
if [ -z "$no_32bit" ]; then
    suites "$other_kind" scripts/without_32bit.sh \
        ctest --preset windows-x64 -R '^(wine_writers_tests|kovdisc_wine_tests)$'
else
    builds+=("$other_kind")
    lines[$other_kind]="not run again: the run above ran without 32-bit programs ($no_32bit)"
fi

# The Debian packages, unpacked and run.
if $deb_built; then
    suites deb ctest --preset deb
else
    note deb FAILED "the package build (cmake --workflow --preset deb)"
    failures=$((failures + 1))
fi

# kovdisc's package for arm64, cross-built, unpacked and run under qemu-user; then the native
# suites that run kovdisc, on that package's kovdisc.
if [ -n "$no_arm64" ]; then
    for build in deb-arm64 arm64; do
        builds+=("$build")
        lines[$build]="not built or run: $no_arm64"
    done
elif $deb_arm64_built; then
    suites deb-arm64 ctest --preset deb-arm64
    suites arm64 ctest --preset arm64
else
    note deb-arm64 FAILED "the package build (cmake --workflow --preset deb-arm64)"
    failures=$((failures + 1))
fi

# The core under libFuzzer, 30 s a target.
scripts/fuzz.sh | tee "$logs/fuzz.log" || true
mapfile -t fuzzed < <(sed -nE 's/^([a-z_]+): ([0-9]+) executions in .*/\1 (\2 executions)/p' \
    "$logs/fuzz.log")
mapfile -t fuzz_failed < <(sed -nE 's/^([a-z_]+): FAILED.*/\1/p' "$logs/fuzz.log")
note fuzz passed "${fuzzed[@]}"
note fuzz FAILED "${fuzz_failed[@]}"
failures=$((failures + ${#fuzz_failed[@]}))
if ((${#fuzzed[@]} + ${#fuzz_failed[@]} == 0)); then
    note fuzz FAILED "scripts/fuzz.sh (see $logs/fuzz.log)"
    failures=$((failures + 1))
fi

# The release artefacts built a second time: every byte must be the same.
second_status=0
wait "$second_build" || second_status=$?
trap - EXIT
if ((second_status == 0)); then
    tests/release/rebuild_test.sh --compare-only build/rebuild 2>&1 | tee "$logs/rebuild.log" || true
else
    echo "the second build failed: see $logs/rebuild-second.log" | tee "$logs/rebuild.log"
fi
mapfile -t same < <(sed -nE 's/^same: (.*)/\1/p' "$logs/rebuild.log")
mapfile -t different < <(sed -nE 's/^DIFFERENT: ([^:]*):.*/\1/p' "$logs/rebuild.log")
note "release rebuilt" identical "${same[@]}"
mapfile -t not_built < <(sed -nE 's/^not built: (.*)/\1/p' "$logs/rebuild.log")
note "release rebuilt" DIFFERENT "${different[@]}"
note "release rebuilt" skipped "${not_built[@]}"
failures=$((failures + ${#different[@]}))
if ! grep -qE '^[0-9]+ passed, 0 failed$' "$logs/rebuild.log" && ((${#different[@]} == 0)); then
    note "release rebuilt" FAILED "tests/release/rebuild_test.sh (see $logs/rebuild.log)"
    failures=$((failures + 1))
fi

echo
echo "== What ran (the logs are in $logs)"
for build in "${builds[@]}"; do
    printf '%-27s %s\n' "$build" "${lines[$build]}"
done
if ((failures > 0)); then
    echo "$failures suite(s) FAILED"
    exit 1
fi
echo "Every suite that ran passed."
