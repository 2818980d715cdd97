#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need (as root);
# does nothing when they are all present.
set -euo pipefail

packages=(
    make cmake ninja-build
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
    mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
    googletest
    wine wine64
    xvfb x11-utils imagemagick fonts-ipafont-gothic
    python3-pil fp-utils
    util-linux procps strace
    prometheus prometheus-node-exporter curl
    nsis
)

missing=()
for pkg in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$pkg")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing packages: ${missing[*]}; run as root to install them" >&2
    exit 1
fi
echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
# A fresh machine has no package lists: fetch them, and fetch again if an install
# fails on stale ones.
if ! ls /var/lib/apt/lists/*_Packages >/dev/null 2>&1; then
    apt-get update
fi
if ! apt-get install -y --no-install-recommends "${missing[@]}"; then
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
fi
