#!/usr/bin/env bash
# bench.sh [MIB] [FOLDER]
# Times adding one trailer of MIB MiB (default 256) against a plain block copy of the same bytes,
# with the native build of copy_bench, then the 64-bit and the 32-bit Windows builds under Wine,
# all in the same scratch folder (default build/bench). Its last three lines are
# "native ratio=X.XX", "windows-x64 ratio=X.XX" and "windows-x86 ratio=X.XX": AddTrailer's speed
# divided by the block copy's, on each build. On a machine that cannot run 32-bit programs, the
# last line is "windows-x86 ratio=none (REASON)", REASON saying why: the 32-bit Wine is not
# installed, or the kernel cannot execute 32-bit programs.
# Before those lines, "PRESET idle program=P server=S" for each Windows build: the processor time
# the window and the Wine server use over 10 s while nobody uses it, in per cent of one core; then
# "PRESET kovdisc dd=D add=A (R) copy=C (R)" for each build (scripts/kovdisc_bench.sh): kovdisc
# adding four trailers of MIB MiB each and copying that disc, against dd writing the same bytes
# with one flush, in seconds, and each command's speed against dd's; then the same natively on
# two discs of real trailers, "native kovdisc 60x90s ..." (60 trailers of 45 to 135 s) and
# "native kovdisc 250x20s ..." (250 of 10 to 30 s), six rounds each, and the second on slow media,
# "native kovdisc 250x20s, 20 ms flushes ..." (tests/support/slow_flush.cpp, preloaded into dd
# and kovdisc alike).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
mib=${1:-256}
folder=$(realpath -m "${2:-build/bench}")

scripts/install_packages.sh
source scripts/wine_prefix.sh
windows_presets=(windows-x64 windows-x86)
no_32bit=$(wine_32bit_missing) && windows_presets=(windows-x64)
for preset in native "${windows_presets[@]}"; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target copy_bench -j"$(nproc)" >/dev/null
done
cmake --build --preset native --target kovdisc make_sample_disc slow_flush -j"$(nproc)" >/dev/null
idle=()
for preset in "${windows_presets[@]}"; do
    cmake --build --preset "$preset" --target programs -j"$(nproc)" >/dev/null
    echo "== $preset: build/$preset/KOVExtractor.exe left alone under Wine"
    result=$(scripts/idle_cpu.sh "build/$preset/KOVExtractor.exe" | tee /dev/stderr)
    idle+=("$preset ${result##*$'\n'}")
done
mkdir -p "$folder"

echo "== native: build/native/bench/copy_bench"
native=$(build/native/bench/copy_bench --mib "$mib" --folder "$folder" | tee /dev/stderr)
ratios=("native ${native##*$'\n'}")
for preset in "${windows_presets[@]}"; do
    echo "== $preset: build/$preset/bench/copy_bench.exe under Wine"
    windows=$(cmake/wine-run.sh "$root/build/wine/null" \
        "build/$preset/bench/copy_bench.exe" --mib "$mib" --folder "Z:${folder//\//\\}" |
        tr -d '\r' | tee /dev/stderr)
    ratios+=("$preset ${windows##*$'\n'}")
done
kovdisc_lines=()
for preset in native "${windows_presets[@]}"; do
    program=build/$preset/kovdisc.exe
    [ "$preset" = native ] && program=build/native/cli/kovdisc
    echo "== $preset: $program against dd"
    result=$(scripts/kovdisc_bench.sh "$program" build/native/tools/make_sample_disc \
        "$folder/kovdisc" 5 --trailers 4 --fixed-units $((mib * 1048576 / 3675)) | tee /dev/stderr)
    kovdisc_lines+=("$preset ${result##*$'\n'}")
done
# real_size NAME TRAILERS SECONDS: natively, on a disc of real trailers.
real_size() {
    local result
    echo "== native: build/native/cli/kovdisc against dd, $1"
    result=$(scripts/kovdisc_bench.sh build/native/cli/kovdisc build/native/tools/make_sample_disc \
        "$folder/kovdisc" 6 --trailers "$2" --seconds "$3" | tee /dev/stderr)
    kovdisc_lines+=("native kovdisc $1 ${result##*$'\n'}")
}
real_size 60x90s 60 90
real_size 250x20s 250 20
KOV_BENCH_PRELOAD=$root/build/native/tests/libslow_flush.so real_size "250x20s, 20 ms flushes" 250 20
if [ -n "${no_32bit:-}" ]; then
    idle+=("windows-x86 idle=none ($no_32bit)")
    kovdisc_lines+=("windows-x86 kovdisc=none ($no_32bit)")
    ratios+=("windows-x86 ratio=none ($no_32bit)")
fi
printf '%s\n' "${idle[@]}" "${kovdisc_lines[@]}" "${ratios[@]}"
