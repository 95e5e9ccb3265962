# The Debian packages the builds, the tests and the run command need, in groups: those every build
# needs, and two optional groups whose absence leaves out only the builds and suites that use
# them. Sourced by scripts/install_packages.sh, which installs them, and by the scripts that skip
# what a missing optional group leaves out.

required_packages=(
    cmake g++ googletest libgtest-dev                   # the core and its tests
    clang libclang-rt-14-dev                            # the fuzz targets
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix # the Windows tests
    g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 # the Windows programs
    wine wine64 fonts-wine                              # runs the Windows builds, with Wine's fonts
    python3-pefile                                      # reads the programs' imports and resources
    libcli11-dev nlohmann-json3-dev                     # kovdisc's argument parsing and JSON
    xvfb xdotool imagemagick                            # a virtual display and screenshots
    strace                                              # records the power cut test's runs
    ninja-build dpkg-dev file help2man                  # the Debian package: build, pages
    lintian desktop-file-utils man-db bsdextrautils     # checks of the package and its pages
    bash-completion                                     # runs the package's completion
    diffoscope-minimal                                  # says what differs between two builds
)
# The 32-bit Wine, for the 32-bit programs users get, from Debian's i386 architecture.
wine32_packages=(wine32:i386)
wine32_leaves_out="the 32-bit program's suites are skipped"
# kovdisc for arm64: the cross compiler, qemu-user to run what it builds, and the arm64 libraries
# dpkg-shlibdeps reads for the package's Depends.
arm64_packages=(crossbuild-essential-arm64 qemu-user libc6:arm64 libgcc-s1:arm64 libstdc++6:arm64)
arm64_leaves_out="the arm64 build, its package and its suites are skipped"

# missing_packages NAMES...: prints each of NAMES that is not installed, one a line.
missing_packages() {
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            echo "$package"
        fi
    done
}

# arm64_absent: prints why the arm64 build cannot be made here, and fails, if a package of its
# group is missing.
arm64_absent() {
    local missing
    missing=$(missing_packages "${arm64_packages[@]}" | tr '\n' ' ')
    [ -n "$missing" ] || return 1
    echo "the arm64 cross-build packages are not installed (${missing% }); run" \
        "scripts/install_packages.sh again later to add them"
}
