#!/usr/bin/env bash
# Installs the Debian packages the builds, the tests and the run command need, if missing.
# A registry briefly out of step is carried past: the update is retried, and a list that still
# fails to download is reported and the others used. What every build needs must install, or the
# script names it and fails; an optional group that cannot be installed is left out, the rest
# installed anyway, and one line says what is missing, apt's reason and what that leaves out.
set -uo pipefail
source "$(dirname "$0")/packages.sh"

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
apt_output=$(mktemp)
trap 'rm -f "$apt_output"' EXIT

# apt COMMAND...: runs apt-get, its output shown and kept in $apt_output.
apt() {
    local status
    DEBIAN_FRONTEND=noninteractive $sudo apt-get -o Acquire::Retries=3 "$@" 2>&1 |
        tee "$apt_output"
    status=${PIPESTATUS[0]}
    return "$status"
}
# apt_reason: apt's first error line of the last apt command.
apt_reason() {
    grep "^E: " "$apt_output" | head -n 1 | sed 's/^E: //'
}

# The 32-bit Wine comes from Debian's i386 architecture; the libraries kovdisc links on arm64,
# for its package's Depends, from the arm64 one.
architectures_added=false
for architecture in i386 arm64; do
    if ! dpkg --print-foreign-architectures | grep -qx "$architecture"; then
        $sudo dpkg --add-architecture "$architecture"
        architectures_added=true
    fi
done
mapfile -t required < <(missing_packages "${required_packages[@]}")
mapfile -t wine32 < <(missing_packages "${wine32_packages[@]}")
mapfile -t arm64 < <(missing_packages "${arm64_packages[@]}")
all=("${required[@]}" "${wine32[@]}" "${arm64[@]}")
if ((${#all[@]} == 0)) && ! $architectures_added; then
    exit 0
fi

echo "Installing: ${all[*]}"
if ! apt update; then
    echo "install_packages: some package lists failed to download ($(apt_reason)); carrying on" \
        "with the lists there are"
fi
# All at once, as on a registry in step; group by group if that fails.
if ((${#all[@]} == 0)) || apt install -y --no-install-recommends "${all[@]}"; then
    exit 0
fi
if ((${#required[@]} > 0)) && ! apt install -y --no-install-recommends "${required[@]}"; then
    reason=$(apt_reason)
    # Which of them apt cannot install, each tried alone.
    failed=()
    for package in "${required[@]}"; do
        if ! $sudo apt-get install -s --no-install-recommends "$package" >/dev/null 2>&1; then
            failed+=("$package")
        fi
    done
    echo "install_packages: FAILED to install what every build needs:" \
        "${failed[*]:-${required[*]}} ($reason)" >&2
    exit 1
fi
# install_optional WHAT LEAVES_OUT PACKAGES...
install_optional() {
    local what=$1 leaves_out=$2
    shift 2
    (($# > 0)) || return 0
    if ! apt install -y --no-install-recommends "$@"; then
        echo "install_packages: not installed: $what ($*): $(apt_reason); $leaves_out; run" \
            "scripts/install_packages.sh again later to add them"
    fi
}
install_optional "the 32-bit Wine" "$wine32_leaves_out" "${wine32[@]}"
install_optional "the arm64 cross-build packages" "$arm64_leaves_out" "${arm64[@]}"
exit 0
