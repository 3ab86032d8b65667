#!/usr/bin/env bash
# Installs, only when missing, what the build and tests need from Debian's packages.
set -euo pipefail

host_pkgs=(cmake ninja-build g++ pkg-config git libgtest-dev libgmock-dev libbenchmark-dev
           zlib1g-dev liblzma-dev libmbedtls-dev python3 clang libclang-rt-14-dev
           g++-arm-linux-gnueabihf qemu-user)
armhf_pkgs=(libc6-dev:armhf zlib1g-dev:armhf liblzma-dev:armhf libmbedtls-dev:armhf libgtest-dev:armhf)

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

missing=()
is_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

if ! dpkg --print-foreign-architectures | grep -qx armhf; then
    $SUDO dpkg --add-architecture armhf
    need_update=1
fi
for p in "${host_pkgs[@]}" "${armhf_pkgs[@]}"; do
    is_installed "$p" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ] || [ -n "${need_update:-}" ]; then
    echo "setup: installing ${missing[*]:-(package lists only)}"
    $SUDO apt-get update -qq
    if [ ${#missing[@]} -gt 0 ]; then
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
fi
