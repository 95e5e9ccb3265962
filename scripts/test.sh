#!/usr/bin/env bash
# Installs what is missing, then configures, builds and runs every test suite there is.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install_packages.sh

jobs=$(nproc)
for preset in native windows-x86 windows-x64; do
    cmake --preset "$preset"
    cmake --build --preset "$preset" -j"$jobs"
done
ctest --preset native
# The 32-bit programs users get first, then the same suites on the 64-bit build.
ctest --preset windows-x86
ctest --preset windows-x64

# The core under libFuzzer, 30 s a target.
scripts/fuzz.sh
