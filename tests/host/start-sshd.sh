#!/usr/bin/env bash
# Starts one sshd on port 22 of the given loopback address.
# Usage: start-sshd.sh ADDRESS password|publickey
set -euo pipefail
address=$1
methods=$2
config=/etc/ssh/sshd_config.$address
password=no
[ "$methods" = password ] && password=yes
cat > "$config" <<CONFIG
ListenAddress $address:22
HostKey /etc/ssh/ssh_host_ed25519_key
HostKey /etc/ssh/ssh_host_ecdsa_key
HostKey /etc/ssh/ssh_host_rsa_key
PidFile /run/sshd.$address.pid
PermitRootLogin yes
PasswordAuthentication $password
KbdInteractiveAuthentication no
PubkeyAuthentication yes
UsePAM no
PermitUserEnvironment yes
MaxStartups 200
MaxSessions 200
LogLevel ERROR
Subsystem sftp internal-sftp
CONFIG
/usr/sbin/sshd -f "$config" -E "/run/sshd.$address.log"
# Wait until it accepts connections (bounded).
for _ in $(seq 1 50); do
    if (exec 3<>"/dev/tcp/$address/22") 2>/dev/null; then
        exit 0
    fi
    sleep 0.1
done
echo "sshd on $address did not start" >&2
cat "/run/sshd.$address.log" >&2
exit 1
