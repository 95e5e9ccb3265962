#!/usr/bin/env bash
# Makes docs/main_window.png, the README's picture of the main window, from the end-to-end
# test's screenshot: the real program under Wine with a source and a destination disc open,
# right after an Add. Run it again whenever the window changes.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install_packages.sh
cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86 -j"$(nproc)" >/dev/null
ctest --preset windows-x86 -R e2e_tests
mkdir -p docs
# Without its time stamps, the same window gives the same file.
convert build/windows-x86/e2e/main_window.png -strip docs/main_window.png
echo "Wrote docs/main_window.png"
