#!/bin/sh
# qemu-arm64.sh PROGRAM [ARGUMENTS...]
# Runs an arm64 Linux program on this machine under qemu-user, called by name, so no binfmt
# registration is needed. The program finds its C and C++ libraries in the arm64 folder of
# Debian's cross toolchain. exec keeps this process: its id is the program's, for signals and
# for /proc.
exec qemu-aarch64 -L /usr/aarch64-linux-gnu "$@"
