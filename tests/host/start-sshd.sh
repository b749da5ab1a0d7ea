#!/usr/bin/env bash
# Starts one sshd for password logins on ADDRESS:PORT (a loopback address, IPv6
# without brackets); sshd options (-o NAME=VALUE) after them replace the config's.
# Usage: start-sshd.sh ADDRESS PORT [SSHD-OPTION...]
set -euo pipefail
address=$1 port=$2
shift 2
config=/etc/ssh/sshd_config.$address.$port
cat > "$config" <<CONFIG
ListenAddress [$address]:$port
HostKey /etc/ssh/ssh_host_ed25519_key
HostKey /etc/ssh/ssh_host_ecdsa_key
HostKey /etc/ssh/ssh_host_rsa_key
PidFile /run/sshd.$address.$port.pid
PermitRootLogin yes
PasswordAuthentication yes
KbdInteractiveAuthentication no
PubkeyAuthentication yes
UsePAM no
PermitUserEnvironment yes
MaxStartups 200
MaxSessions 200
LogLevel ERROR
Subsystem sftp internal-sftp
CONFIG
# Each option given replaces the config's line: sshd keeps the last value of some.
for option in "$@"; do [ "$option" = -o ] || sed -i "/^${option%%=*} /d" "$config"; done
/usr/sbin/sshd -f "$config" -E "/run/sshd.$address.$port.log" "$@"
# Wait until it accepts connections (bounded).
for _ in $(seq 1 50); do
    if (exec 3<>"/dev/tcp/$address/$port") 2>/dev/null; then
        exit 0
    fi
    sleep 0.1
done
echo "sshd on $address port $port did not start" >&2
cat "/run/sshd.$address.$port.log" >&2
exit 1
