#!/bin/sh
# kovdisc-arm64.sh [ARGUMENTS...]
# Runs kovdisc for arm64 as its Debian package ships it, the deb-arm64 build's, under qemu-user,
# in this very process. The native build's suites run it in place of their own kovdisc
# (ctest --preset arm64, KOV_KOVDISC).
top=$(dirname "$(readlink -f "$0")")/..
kovdisc=$top/build/deb-arm64/cli/kovdisc
if [ ! -x "$kovdisc" ]; then
    echo "kovdisc-arm64.sh: $kovdisc is not built: cmake --workflow --preset deb-arm64" >&2
    exit 127
fi
exec "$top/cmake/qemu-arm64.sh" "$kovdisc" "$@"
