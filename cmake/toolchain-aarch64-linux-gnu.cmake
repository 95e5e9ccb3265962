# Cross-compiles for 64-bit ARM Linux (Debian's arm64) with Debian's cross compiler, from
# crossbuild-essential-arm64. It finds the arm64 C and C++ libraries in /usr/aarch64-linux-gnu,
# and header-only libraries in /usr/include after them. The programs it builds run here under
# qemu-user, through cmake/qemu-arm64.sh.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/qemu-arm64.sh)
# Debian's tools run from this build (dpkg-buildflags) answer for arm64, not for this machine.
set(ENV{DEB_HOST_ARCH} arm64)
