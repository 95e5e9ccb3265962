#!/usr/bin/env bash
# Makes docs/main_window.png, the README's picture of the main window, from the end-to-end
# test's screenshot: the real program under Wine with a source and a destination disc open,
# right after an Add: the 32-bit program users get, or the 64-bit one where the 32-bit one
# cannot run (scripts/wine_prefix.sh says why). Run it again whenever the window changes.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install_packages.sh
source scripts/wine_prefix.sh
preset=windows-x86
wine_runs_32bit || preset=windows-x64
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)" >/dev/null
ctest --preset "$preset" -R e2e_tests
mkdir -p docs
# Without its time stamps, the same window gives the same file.
convert "build/$preset/e2e/main_window.png" -strip docs/main_window.png
echo "Wrote docs/main_window.png"
