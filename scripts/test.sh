#!/usr/bin/env bash
# Installs what is missing, then configures, builds and runs every test suite there is.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    cmake g++ googletest                                          # the core and its tests
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix           # the Windows program
    wine wine64                                                   # runs it here
)
missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
if ((${#missing[@]} > 0)); then
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
    echo "Installing: ${missing[*]}"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

jobs=$(nproc)
for preset in native windows-x86 windows-x64; do
    cmake --preset "$preset"
    cmake --build --preset "$preset" -j"$jobs"
done
ctest --preset native
ctest --preset windows-x64
