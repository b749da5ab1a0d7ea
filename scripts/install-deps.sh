#!/usr/bin/env bash
# Installs the Debian packages that building and testing need; only what is
# missing, with one package-list update at most.
set -euo pipefail
packages=(
    build-essential cmake pkg-config clang
    libssh2-1-dev libcrypt-dev libgtest-dev
    openssh-server openssh-client iproute2 util-linux passwd
    wget bzip2 gzip unzip zip makeself python3
    dpkg-dev file clang-tidy cppcheck groff-base man-db
)
missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
SUDO=
[ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
