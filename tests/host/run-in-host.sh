#!/usr/bin/env bash
# Runs a command (default: a shell) in a private sandbox test host: its own PID, network and
# mount namespaces, loopback only, private /etc, /home, /run and /srv, and the SSH servers
# below (the README lists them), all ending with the command. Without root: exit 77 (skipped).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ "$(id -u)" -ne 0 ]; then
    echo "the sandbox test host needs root; skipped"
    exit 77
elif [ "${FK_IN_HOST:-}" != 1 ]; then
    exec unshare --pid --fork --mount-proc --net --mount --propagation private -- \
        env FK_IN_HOST=1 "$0" "${@:-bash}"
fi

# Inside the fresh namespaces: build the test host, then run the command.
sysctl -qw net.ipv6.conf.lo.disable_ipv6=0  # ::1 too, whatever the machine's default
ip link set lo up

# Private copies of everything user creation and sshd write to; a small disk,
# to see a remote write fail for want of space.
state=$(mktemp -d /tmp/fieldkeep-host.XXXXXX)
cp -a /etc "$state/etc"
mount --bind "$state/etc" /etc
for dir in /home /run /srv; do
    mkdir -p "$dir"
    mount -t tmpfs -o mode=0755 tmpfs "$dir"
done
chmod 1777 /srv
mkdir -p /run/sshd /srv/small
mount -t tmpfs -o size=1m,mode=1777 tmpfs /srv/small

printf '%s\n' '127.0.0.1 localhost testhost twoaddr' '127.0.0.2 keyonly' '127.0.0.4 onesession' \
    '127.0.0.5 kbdonly' '127.0.0.6 dropbear' '::1 twoaddr' >/etc/hosts
# No name server answers inside the sandbox: unknown names fail at once.
echo "nameserver 127.0.0.1" >/etc/resolv.conf

export FK_USER_PASSWORD='user pass' FK_ROOT_PASSWORD='root-pass'
export FK_QUOTE_USER='fkquote' FK_QUOTE_PASSWORD=' a b'"'"'c"d$e`f\g '
useradd -m -s /bin/sh fkuser
useradd -m -s /bin/bash fkbash
useradd -m -s /bin/mksh fkmksh  # no printf of its own
useradd -m -s /bin/zsh fkzsh
useradd -m -s /bin/sh "$FK_QUOTE_USER"
useradd -m -s /bin/sh fktenant  # a second customer on the same host, no login needed
useradd -m -s /usr/sbin/nologin fknologin  # logs in, runs no command
printf '%s\n' "root:$FK_ROOT_PASSWORD" "fkuser:$FK_USER_PASSWORD" "fkbash:$FK_USER_PASSWORD" \
    "fkmksh:$FK_USER_PASSWORD" "fkzsh:$FK_USER_PASSWORD" "fknologin:$FK_USER_PASSWORD" \
    "$FK_QUOTE_USER:$FK_QUOTE_PASSWORD" | chpasswd
# fkuser finds the administration tools (and is refused by them).
mkdir -p /home/fkuser/.ssh
echo 'PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin' >/home/fkuser/.ssh/environment

# fkmksh's PATH starts with a printf that records its arguments: mksh has no printf of its own.
mkdir -p /home/fkmksh/.ssh /home/fkmksh/bin
echo 'PATH=/home/fkmksh/bin:/usr/bin:/bin' >/home/fkmksh/.ssh/environment
printf '#!/bin/sh\nprintf "%%s\\n" "$@" >>"$HOME/printf.args"\nexec /usr/bin/printf "$@"\n' \
    >/home/fkmksh/bin/printf
chmod 755 /home/fkmksh/bin/printf && chown -R fkmksh /home/fkmksh

# fkuser's keys (FK_KEYS): id_ed25519, also held by the agent at SSH_AUTH_SOCK,
# id_rsa, and id_ecdsa encrypted with FK_KEY_PASSPHRASE.
export FK_KEYS=/run/keys FK_KEY_PASSPHRASE='key phrase'
mkdir -p "$FK_KEYS"
for type in ed25519 rsa; do ssh-keygen -q -t $type -N '' -f "$FK_KEYS/id_$type"; done
ssh-keygen -q -t ecdsa -N "$FK_KEY_PASSPHRASE" -f "$FK_KEYS/id_ecdsa"
eval "$(ssh-agent -s -a /run/agent.sock)" >/dev/null
ssh-add -q "$FK_KEYS/id_ed25519" 2>/dev/null
cat "$FK_KEYS"/*.pub >/home/fkuser/.ssh/authorized_keys
chown -R fkuser /home/fkuser/.ssh
# PAM (only the keyboard-interactive server asks it) checks the password, no more.
printf '%s required %s\n' auth 'pam_unix.so nodelay' account pam_unix.so >/etc/pam.d/sshd

. "$here/../e2e/lib.sh"  # for `listening`

# One sshd on ADDRESS PORT (IPv6 without brackets). Config lines after them come
# first, and sshd keeps the first value it reads; MaxStartups stays OpenSSH's own.
ssh-keygen -q -A
sshd_on() {
    local config=/etc/ssh/sshd_config.$1.$2
    { printf '%s\n' "ListenAddress [$1]:$2" "PidFile /run/sshd.$1.$2.pid" "${@:3}" \
        'PermitRootLogin yes' 'PasswordAuthentication yes' 'KbdInteractiveAuthentication no' \
        'UsePAM no' 'PermitUserEnvironment yes' 'LogLevel ERROR'
      printf 'HostKey /etc/ssh/ssh_host_%s_key\n' ed25519 ecdsa rsa; } >"$config"
    /usr/sbin/sshd -f "$config" -E "/run/sshd.$1.$2.log"
    listening "$1" "$2" || { cat "/run/sshd.$1.$2.log"; exit 1; } >&2
}
sshd_on 127.0.0.1 22
sshd_on 127.0.0.1 2222
sshd_on ::1 22
# Keys only; RSA keys may sign with SHA-1, the only RSA signature libssh2 1.10 makes.
sshd_on 127.0.0.2 22 'PasswordAuthentication no' 'PubkeyAcceptedAlgorithms +ssh-rsa'
sshd_on 127.0.0.5 22 'PasswordAuthentication no' 'KbdInteractiveAuthentication yes' 'UsePAM yes'
# One session channel at a time, as hardening guides set it.
sshd_on 127.0.0.4 22 'MaxSessions 1'
# Dropbear, password logins, its own host key. It reads no ~/.ssh/environment.
mkdir -p /etc/dropbear
dropbearkey -t ed25519 -f /etc/dropbear/host_key_ed25519 >/dev/null 2>&1
/usr/sbin/dropbear -r /etc/dropbear/host_key_ed25519 -p 127.0.0.6:22 -P /run/dropbear.pid -E \
    2>/run/dropbear.log
listening 127.0.0.6 22 || { cat /run/dropbear.log; exit 1; } >&2
# Hostile: floods the answer to "uname", fails "id" with a terminal escape, drips anything else.
sshd_on 127.0.0.8 22 'ForceCommand case $SSH_ORIGINAL_COMMAND in *uname*) exec yes ;; *"id -u"*)'`
    `' printf "\033[2J\n" >&2; exit 1 ;; *) while :; do printf .; sleep 2; done ;; esac'

# Fake game server archives for installs, served over HTTP from /srv/www.
"$here/../fixtures/make-game-archives.sh" /srv/www
(cd /srv/www && exec python3 -m http.server --bind 127.0.0.1 8000 >/dev/null 2>&1) &
listening 127.0.0.1 8000
export FK_ARCHIVE_URL=http://127.0.0.1:8000
# The game definitions where an installed fieldkeep finds them first.
mkdir -p /etc/fieldkeep/games && cp "$here/../../games/"*.toml /etc/fieldkeep/games/

set +e
"$@"
status=$?
rm -rf "$state"
exit $status
