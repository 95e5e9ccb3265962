#!/usr/bin/env bash
# Installs the Debian packages the builds, the tests and the run command need, if missing.
set -euo pipefail

packages=(
    cmake g++ googletest                                # the core and its tests
    clang libclang-rt-14-dev                            # the fuzz targets
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix # the Windows program
    wine wine64 fonts-wine                              # runs it here, with Wine's own fonts
    libcli11-dev nlohmann-json3-dev                     # kovdisc's argument parsing and JSON
    xvfb xdotool imagemagick                            # a virtual display and screenshots
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
