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
# The 32-bit programs users get first, then the same suites on the 64-bit build. A machine that
# cannot execute 32-bit programs runs, of the 32-bit build's suites, only the check of its files.
source scripts/wine_prefix.sh
if wine_runs_32bit; then
    ctest --preset windows-x86
else
    echo "This machine cannot execute 32-bit programs: of the windows-x86 suites, only"
    echo "release_tests runs; the windows-x64 suites run the same tests on the 64-bit build."
    ctest --preset windows-x86 -R '^release_tests$'
fi
ctest --preset windows-x64

# The Debian package, built as the README says, then unpacked and run.
cmake --workflow --preset deb
ctest --preset deb

# The core under libFuzzer, 30 s a target.
scripts/fuzz.sh
