#!/usr/bin/env bash
# without_32bit.sh COMMAND [ARGUMENTS...]
# Runs COMMAND as on a machine whose kernel cannot execute 32-bit programs: in a mount namespace
# of its own, Wine's 32-bit loader is covered by a copy of its ELF header that names no machine,
# which the kernel refuses with "Exec format error", as such a kernel refuses the real loader.
# Nothing outside the namespace changes. Exits with COMMAND's status.
set -euo pipefail
loader=/usr/lib/wine/wine
if [ ! -f "$loader" ]; then
    echo "without_32bit.sh: $loader is not installed" >&2
    exit 1
fi
refused=$(mktemp)
trap 'rm -f "$refused"' EXIT
head -c 4096 "$loader" >"$refused"
printf '\0\0' | dd of="$refused" bs=1 seek=18 conv=notrunc status=none # e_machine: none
chmod +x "$refused"

# Root makes the namespace itself; anyone else through a user namespace of their own.
as_root=()
if [ "$(id -u)" -ne 0 ]; then as_root=(--map-root-user); fi
status=0
unshare --mount "${as_root[@]}" bash -c 'mount --bind "$1" "$2" && shift 2 && exec "$@"' \
    without-32bit "$refused" "$loader" "$@" || status=$?
exit "$status"
