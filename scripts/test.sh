#!/usr/bin/env bash
# Installs what is missing, then configures, builds and runs every test suite there is. It ends
# with a summary: for each build, the suites that passed, failed and were skipped, and why any
# was skipped. Exits 1 if any suite failed.
#
# Every artefact is built once: the packages take the programs the builds before them made, and
# the arm64 suites are the native build's, run on the arm64 package's kovdisc. Three things run
# side by side, as the Wine suites leave a core idle much of the time: the Wine suites, in the
# foreground; the other builds and suites, in a lane of their own (its output in
# build/test-logs/lane.log); and the release artefacts' second build, at the lowest priority.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install_packages.sh
source scripts/packages.sh
source scripts/wine_prefix.sh
# What this machine cannot run, and why: each is said where it leaves something out.
no_32bit=$(wine_32bit_missing) || true
no_arm64=$(arm64_absent) || true

logs=build/test-logs
rm -rf "$logs"
mkdir -p "$logs"
# What ran, a line "BUILD<tab>OUTCOME<tab>NAME" each, from both lanes.
summary=$logs/summary.tsv
: >"$summary"
jobs=$(nproc)

# stamp WHAT: "== [T s] WHAT", T the seconds since the script began, in whichever lane's output.
stamp() {
    echo "== [${SECONDS} s] $*"
}

# note BUILD OUTCOME NAMES...: records each of NAMES under OUTCOME (passed, FAILED, skipped,
# identical, DIFFERENT, or a remark) in BUILD's line of the summary.
note() {
    local build=$1 outcome=$2 name
    shift 2
    for name in "$@"; do printf '%s\t%s\t%s\n' "$build" "$outcome" "$name" >>"$summary"; done
}

# suites BUILD COMMAND...: runs COMMAND, a ctest, its output also in the build's log, and notes
# each suite's outcome from the JUnit XML it writes, with the reason a skipped suite printed.
suites() {
    local build=$1 log junit status=0 outcome name
    shift
    log=$logs/${build// /-}.log
    junit=$PWD/$logs/${build// /-}.xml
    stamp "the suites of $build"
    "$@" --output-junit "$junit" 2>&1 | tee "$log" || status=${PIPESTATUS[0]}
    stamp "the suites of $build ended"
    local counted=0 failed=0
    if [ -f "$junit" ]; then
        while IFS=$'\t' read -r outcome name; do
            note "$build" "$outcome" "$name"
            counted=$((counted + 1))
            if [ "$outcome" = FAILED ]; then failed=$((failed + 1)); fi
        done < <(/usr/bin/python3 scripts/suite_results.py "$junit")
    fi
    # ctest failing with no suite failed, or saying nothing of its suites, fails itself.
    if ((counted == 0 || (status != 0 && failed == 0))); then
        note "$build" FAILED "ctest itself (see $log)"
    fi
}

# build PRESET [TARGET]: configures and builds PRESET (only TARGET, if given); notes a failure.
build() {
    stamp "build $1 ${2:-}"
    if ! { cmake --preset "$1" && cmake --build --preset "$1" ${2:+--target "$2"} -j"$jobs"; }; then
        note "$1" FAILED "the build (cmake --build --preset $1)"
        return 1
    fi
    stamp "build $1 ended"
}

# The second build, from a copy of the same sources in another folder and setting; its
# artefacts are compared with the tree's own at the end. It runs in a process group of its own
# (job control), ended with the script should the script end first; not in a session of its
# own, where the kernel's per-session scheduling would give it an equal share whatever its
# priority.
set -m
nice -n 19 ionice -c 3 tests/release/rebuild_test.sh --second-only build/rebuild \
    >"$logs/rebuild-second.log" 2>&1 &
second_build=$!
set +m
lane=""
trap 'kill -- -"$second_build" 2>/dev/null || true; [ -z "$lane" ] || kill -- -"$lane" 2>/dev/null || true' EXIT

# What the Wine suites need first: the native helpers, and the 64-bit programs.
native_built=true
build native || native_built=false
x64_built=true
build windows-x64 || x64_built=false

# The other lane: the 32-bit build, the packages, the native, package and arm64 suites, the
# fuzzers. The 32-bit build's end is marked for the Wine lane, which runs its suites.
x86_done=$logs/windows-x86.done
other_lane() {
    if [ -z "$no_32bit" ]; then
        build windows-x86 && touch "$x86_done.ok"
    else
        # Only its release_tests can run here, and they read the programs for users alone.
        build windows-x86 programs && touch "$x86_done.ok"
    fi
    touch "$x86_done"

    local deb_built=true deb_arm64_built=true
    stamp "build deb"
    cmake --workflow --preset deb || deb_built=false
    if [ -z "$no_arm64" ]; then
        stamp "build deb-arm64"
        cmake --workflow --preset deb-arm64 || deb_arm64_built=false
    fi
    stamp "the packages built"

    if $native_built; then suites native ctest --preset native; fi
    if $deb_built; then
        suites deb ctest --preset deb
    else
        note deb FAILED "the package build (cmake --workflow --preset deb)"
    fi
    # kovdisc's package for arm64, cross-built, unpacked and run under qemu-user; then the
    # native suites that run kovdisc, on that package's kovdisc.
    if [ -n "$no_arm64" ]; then
        note deb-arm64 "not built or run" "$no_arm64"
        note arm64 "not run" "$no_arm64"
    elif ! $deb_arm64_built; then
        note deb-arm64 FAILED "the package build (cmake --workflow --preset deb-arm64)"
    else
        suites deb-arm64 ctest --preset deb-arm64
        if $native_built; then suites arm64 ctest --preset arm64; fi
    fi

    # The core under libFuzzer, 30 s a target.
    stamp "the fuzzers"
    scripts/fuzz.sh >"$logs/fuzz.log" 2>&1 || true
    stamp "the fuzzers ended"
    local fuzzed failed
    mapfile -t fuzzed < <(sed -nE 's/^([a-z_]+): ([0-9]+) executions in .*/\1 (\2 executions)/p' \
        "$logs/fuzz.log")
    mapfile -t failed < <(sed -nE 's/^([a-z_]+): FAILED.*/\1/p' "$logs/fuzz.log")
    note fuzz passed "${fuzzed[@]}"
    note fuzz FAILED "${failed[@]}"
    if ((${#fuzzed[@]} + ${#failed[@]} == 0)); then
        note fuzz FAILED "scripts/fuzz.sh (see $logs/fuzz.log)"
    fi
}
echo "== The builds of packages and the native, package, arm64 and fuzz suites run beside the" \
    "Wine suites: $logs/lane.log"
set -m
other_lane >"$logs/lane.log" 2>&1 &
lane=$!
set +m

# The Wine suites: the 64-bit build, then, where the machine runs 32-bit programs, the same
# suites as on one that cannot, and the 32-bit programs users get.
if $x64_built; then suites windows-x64 ctest --preset windows-x64; fi
other_kind="windows-x64 without 32-bit"
if [ -n "$no_32bit" ]; then
    note "$other_kind" "not run again" "the run above ran without 32-bit programs ($no_32bit)"
elif $x64_built; then
    # Wine runs 64-bit programs by another road where 32-bit programs cannot run at all.
    suites "$other_kind" scripts/without_32bit.sh \
        ctest --preset windows-x64 -R '^(wine_writers_tests|kovdisc_wine_tests)$'
fi
while [ ! -e "$x86_done" ] && kill -0 "$lane" 2>/dev/null; do sleep 1; done
if [ ! -e "$x86_done.ok" ]; then
    : # the other lane noted the failed build
elif [ -z "$no_32bit" ]; then
    suites windows-x86 ctest --preset windows-x86
else
    suites windows-x86 ctest --preset windows-x86 -R '^release_tests$'
    mapfile -t skipped < <(ctest --preset windows-x86 -N |
        sed -nE 's/^ *Test +#[0-9]+: ([^ ]+)$/\1/p' | grep -vx release_tests)
    note windows-x86 skipped "${skipped[@]/%/ ($no_32bit)}"
fi
lane_status=0
wait "$lane" || lane_status=$?
lane=""
((lane_status == 0)) || note "other lane" FAILED "exit $lane_status (see $logs/lane.log)"

# The release artefacts built a second time: every byte must be the same.
stamp "waiting for the second build"
second_status=0
wait "$second_build" || second_status=$?
stamp "the second build ended"
trap - EXIT
if ((second_status == 0)); then
    tests/release/rebuild_test.sh --compare-only build/rebuild 2>&1 | tee "$logs/rebuild.log" || true
else
    echo "the second build failed: see $logs/rebuild-second.log" | tee "$logs/rebuild.log"
fi
mapfile -t same < <(sed -nE 's/^same: (.*)/\1/p' "$logs/rebuild.log")
mapfile -t different < <(sed -nE 's/^DIFFERENT: ([^:]*):.*/\1/p' "$logs/rebuild.log")
mapfile -t not_built < <(sed -nE 's/^not built: (.*)/\1/p' "$logs/rebuild.log")
note "release rebuilt" identical "${same[@]}"
note "release rebuilt" DIFFERENT "${different[@]}"
note "release rebuilt" skipped "${not_built[@]}"
if ! grep -qE '^[0-9]+ passed, 0 failed$' "$logs/rebuild.log" && ((${#different[@]} == 0)); then
    note "release rebuilt" FAILED "tests/release/rebuild_test.sh (see $logs/rebuild.log)"
fi

echo
echo "== What ran (the logs are in $logs)"
/usr/bin/python3 - "$summary" <<'SUMMARY'
import collections, sys
order = ["native", "windows-x86", "windows-x64", "windows-x64 without 32-bit", "deb",
         "deb-arm64", "arm64", "fuzz", "release rebuilt"]
lines = collections.OrderedDict()
for row in open(sys.argv[1], encoding="utf-8"):
    build, outcome, name = row.rstrip("\n").split("\t", 2)
    lines.setdefault(build, collections.OrderedDict()).setdefault(outcome, []).append(name)
for build in sorted(lines, key=lambda b: order.index(b) if b in order else len(order)):
    parts = ["%s %d: %s" % (outcome, len(names), ", ".join(names)) if outcome in (
        "passed", "FAILED", "skipped", "identical", "DIFFERENT") else "%s: %s" % (
        outcome, "; ".join(names)) for outcome, names in lines[build].items()]
    print("%-27s %s" % (build, "; ".join(parts)))
SUMMARY
failures=$(grep -cE $'\t(FAILED|DIFFERENT)\t' "$summary" || true)
if ((failures > 0)); then
    echo "$failures suite(s) FAILED"
    exit 1
fi
echo "Every suite that ran passed."
