#!/usr/bin/env bash
# Installs the Debian packages that building and testing need; only what is
# missing, with one package-list update at most.
#
# The tests run their own sshd instances inside the sandbox test host, so the
# machine needs the openssh-server package but no system-wide SSH server. When
# this script installs openssh-server (it was not there before), it keeps
# Debian's package from starting and enabling one: /etc/ssh/sshd_not_to_be_run
# (honoured by the ssh unit and the init script) stays in place, a temporary
# /usr/sbin/policy-rc.d refuses service starts during the install, and the ssh
# unit is disabled afterwards. An openssh-server installed earlier is left as it is.
# dropbear-bin (the Dropbear test server) holds the programs only, no service; the
# package that would run a system Dropbear, dropbear, is not installed.
set -euo pipefail
packages=(
    build-essential cmake pkg-config clang
    libssh2-1-dev libcrypt-dev libgtest-dev libtomlplusplus-dev
    openssh-server openssh-client dropbear-bin iproute2 util-linux passwd procps libpam-modules
    mksh zsh
    wget bzip2 gzip unzip zip makeself python3
    dpkg-dev file clang-format clang-tidy cppcheck groff-base man-db
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

new_ssh_server=false
[[ " ${missing[*]} " == *" openssh-server "* ]] && new_ssh_server=true
temporary_policy=false
if $new_ssh_server; then
    $SUDO mkdir -p /etc/ssh
    $SUDO touch /etc/ssh/sshd_not_to_be_run
    if [ ! -e /usr/sbin/policy-rc.d ]; then
        printf '#!/bin/sh\nexit 101\n' | $SUDO tee /usr/sbin/policy-rc.d >/dev/null
        $SUDO chmod 755 /usr/sbin/policy-rc.d
        temporary_policy=true
        trap '$SUDO rm -f /usr/sbin/policy-rc.d' EXIT
    fi
fi

$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"

if $new_ssh_server; then
    # Disabled: the package enabled the unit (wants and alias links). Without the
    # links a later upgrade of the package leaves it disabled.
    if command -v systemctl >/dev/null; then
        $SUDO systemctl disable --quiet ssh.service ssh.socket 2>/dev/null || true
    fi
    $SUDO rm -f /etc/systemd/system/sshd.service \
        /etc/systemd/system/multi-user.target.wants/ssh.service \
        /etc/systemd/system/sockets.target.wants/ssh.socket
fi
if $temporary_policy; then
    $SUDO rm -f /usr/sbin/policy-rc.d
    trap - EXIT
fi
