#!/usr/bin/env bash
# Inside the fresh namespaces: builds the test host, then runs the command.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

sysctl -qw net.ipv6.conf.lo.disable_ipv6=0  # ::1 too, whatever the machine's default
ip link set lo up

# Private copies of everything user creation and sshd write to.
state=$(mktemp -d /tmp/fieldkeep-host.XXXXXX)
cp -a /etc "$state/etc"
mount --bind "$state/etc" /etc
for dir in /home /run /srv; do
    mkdir -p "$dir"
    mount -t tmpfs -o mode=0755 tmpfs "$dir"
done
mkdir -p /run/sshd
chmod 1777 /srv
# A small disk, to see a remote write fail for want of space.
mkdir -p /srv/small
mount -t tmpfs -o size=1m,mode=1777 tmpfs /srv/small

cat > /etc/hosts <<HOSTS
127.0.0.1 localhost testhost twoaddr
127.0.0.2 keyonly
127.0.0.4 notssh
127.0.0.5 kbdonly
127.0.0.6 busy
::1 twoaddr
HOSTS
# No name server answers inside the sandbox: unknown names fail at once.
echo "nameserver 127.0.0.1" > /etc/resolv.conf

export FK_USER_PASSWORD='user pass'
export FK_ROOT_PASSWORD='root-pass'
export FK_QUOTE_USER='fkquote'
export FK_QUOTE_PASSWORD=' a b'"'"'c"d$e`f\g '

useradd -m -s /bin/sh fkuser
useradd -m -s /bin/bash fkbash
useradd -m -s /bin/sh "$FK_QUOTE_USER"
printf '%s\n' "root:$FK_ROOT_PASSWORD" "fkuser:$FK_USER_PASSWORD" \
    "fkbash:$FK_USER_PASSWORD" "$FK_QUOTE_USER:$FK_QUOTE_PASSWORD" | chpasswd

# fkuser finds the administration tools (and is refused by them).
mkdir -p /home/fkuser/.ssh
echo 'PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin' > /home/fkuser/.ssh/environment
chown -R fkuser /home/fkuser/.ssh

# toor is a second superuser whose login sees a private PATH (through
# ~/.ssh/environment): its uname prints what /home/toor/system holds, and its pw
# answers "pw groupshow NAME" from this host's group database, logging each call.
export FK_TOOR_PASSWORD='toor-pass'
useradd -o -u 0 -g 0 -M -d /home/toor -s /bin/sh toor 2>/dev/null  # warns of uid 0
echo "toor:$FK_TOOR_PASSWORD" | chpasswd
mkdir -p /home/toor/.ssh /home/toor/fakebin
echo 'PATH=/home/toor/fakebin:/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin' \
    > /home/toor/.ssh/environment
echo Linux > /home/toor/system
cat > /home/toor/fakebin/uname <<'FAKE'
#!/bin/sh
cat /home/toor/system
FAKE
cat > /home/toor/fakebin/pw <<'FAKE'
#!/bin/sh
echo "$*" >> /home/toor/pw.log
[ "$1" = groupshow ] && getent group "$2" >/dev/null
FAKE
chmod 755 /home/toor/fakebin/*

# fkuser's keys (FK_KEYS): id_ed25519, also held by the agent at SSH_AUTH_SOCK,
# id_rsa, and id_ecdsa encrypted with FK_KEY_PASSPHRASE.
export FK_KEYS=/run/keys FK_KEY_PASSPHRASE='key phrase'
mkdir -p "$FK_KEYS"
for type in ed25519 rsa; do ssh-keygen -q -t $type -N '' -f "$FK_KEYS/id_$type"; done
ssh-keygen -q -t ecdsa -N "$FK_KEY_PASSPHRASE" -f "$FK_KEYS/id_ecdsa"
eval "$(ssh-agent -s -a /run/agent.sock)" >/dev/null
ssh-add -q "$FK_KEYS/id_ed25519" 2>/dev/null
cat "$FK_KEYS"/*.pub > /home/fkuser/.ssh/authorized_keys
# PAM (only the keyboard-interactive server asks it) checks the password, no more.
printf '%s required %s\n' auth 'pam_unix.so nodelay' account pam_unix.so > /etc/pam.d/sshd

ssh-keygen -q -A
"$here/start-sshd.sh" 127.0.0.1 22
"$here/start-sshd.sh" 127.0.0.1 2222
"$here/start-sshd.sh" ::1 22
# Keys only; RSA keys may sign with SHA-1, the only RSA signature libssh2 1.10 makes.
"$here/start-sshd.sh" 127.0.0.2 22 -o PasswordAuthentication=no -o PubkeyAcceptedAlgorithms=+ssh-rsa
"$here/start-sshd.sh" 127.0.0.5 22 -o PasswordAuthentication=no -o KbdInteractiveAuthentication=yes \
    -o UsePAM=yes
"$here/start-sshd.sh" 127.0.0.6 22 -o MaxStartups=10:30:100  # OpenSSH's own default

# Fake game server archives for installs, served from /srv/www.
"$here/../fixtures/make-game-archives.sh" /srv/www
serve() { # ADDRESS PORT LOG: an HTTP server of /srv/www, once it listens
    (cd /srv/www && exec /usr/bin/python3 -m http.server --bind "$1" "$2" >"$3" 2>&1) &
    for _ in $(seq 1 50); do
        (exec 3<>"/dev/tcp/$1/$2") 2>/dev/null && break
        sleep 0.1
    done
}
serve 127.0.0.1 8000 /run/http.log
export FK_ARCHIVE_URL=http://127.0.0.1:8000
# Something that is no SSH server answers on port 22 of 127.0.0.4.
serve 127.0.0.4 22 /run/notssh.log

export FIELDKEEP_SANDBOX=1
set +e
"$@"
status=$?
rm -rf "$state"
exit $status
