#!/usr/bin/env bash
# Installs the Debian packages the builds, the tests and the run command need, if missing.
set -euo pipefail

packages=(
    cmake g++ googletest                                # the core and its tests
    clang libclang-rt-14-dev                            # the fuzz targets
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix # the Windows tests
    g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 # the Windows programs
    wine wine64 wine32:i386 fonts-wine                  # runs both builds here, with Wine's fonts
    python3-pefile                                      # reads the programs' imports and resources
    libcli11-dev nlohmann-json3-dev                     # kovdisc's argument parsing and JSON
    xvfb xdotool imagemagick                            # a virtual display and screenshots
    strace                                              # records the power cut test's runs
    ninja-build dpkg-dev file help2man                  # the Debian package: build, pages
    lintian desktop-file-utils man-db bsdextrautils     # checks of the package and its pages
    bash-completion                                     # runs the package's completion
    diffoscope-minimal                                  # says what differs between two builds
    crossbuild-essential-arm64 qemu-user                # kovdisc for arm64, run here by name
    libc6:arm64 libgcc-s1:arm64 libstdc++6:arm64        # what dpkg-shlibdeps reads for arm64
)
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
# The 32-bit Wine, for the 32-bit programs users get, comes from Debian's i386 architecture; the
# libraries kovdisc links on arm64, for its package's Depends, from the arm64 one.
architectures_added=false
for architecture in i386 arm64; do
    if ! dpkg --print-foreign-architectures | grep -qx "$architecture"; then
        $sudo dpkg --add-architecture "$architecture"
        architectures_added=true
    fi
done
missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
if ((${#missing[@]} > 0)) || $architectures_added; then
    echo "Installing: ${missing[*]}"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
