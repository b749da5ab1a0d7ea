#!/usr/bin/env bash
# The demo's steps, run inside the sandbox test host.
set -uo pipefail
fieldkeep=$1
here=$(cd "$(dirname "$0")" && pwd)

run() {
    printf '\n$ fieldkeep %s\n' "$*"
    "$fieldkeep" --address=testhost "$@"
    printf '[exit status %d]\n' $?
}

export BF1942_PASSWD=$FK_USER_PASSWORD
run --login=fkuser --check-host
run --login=fkuser --check-on-root
run --login=fkuser --exec '--cmd=echo hello; echo oops >&2; exit 3'
run --login=fkuser --exec --cmd=cat '--input=text fed to standard input'
BF1942_PASSWD=$FK_ROOT_PASSWORD run --login=root --check-on-root
BF1942_PASSWD=$FK_ROOT_PASSWORD run --login=root --create-user
BF1942_PASSWD=wrong run --login=fkuser --check-host

# Upload a file.
printf 'motd for the game server\n' > /srv/motd.txt
run --login=fkuser --copy-file --from=/srv/motd.txt --to=/home/fkuser/motd.txt
ls -l /home/fkuser/motd.txt

# Install a (fake) game server from an archive served on loopback, wait for the
# install script to finish, then check the installation.
mkdir -p /srv/games && chown fkuser /srv/games
output=$("$fieldkeep" --address=testhost --login=fkuser --install \
    "--url=$FK_ARCHIVE_URL/bf.tar.gz" --dir=/srv/games)
printf '\n$ fieldkeep --login=fkuser --install --url=%s --dir=/srv/games\n%s\n' \
    "$FK_ARCHIVE_URL/bf.tar.gz" "$output"
temp=${output#temp dir: \'}
temp=${temp%\'}
for _ in $(seq 1 100); do
    ls "$temp"/install_ok.ret "$temp"/*_err.ret >/dev/null 2>&1 && break
    sleep 0.1
done
echo "status files in $temp:"
(cd "$temp" && for f in *.ret; do printf '  %s: %s\n' "$f" "$(cat "$f")"; done)
run --login=fkuser --check-install --dir=/srv/games/bf1942

# Start the installed server as an instance with its own configuration
# directory, show it running, send it a console line, read its error log, then
# stop it.
cfg=/srv/games/instance1
mkdir -p "$cfg/settings"
printf 'game.serverName "old"\n' > "$cfg/settings/serversettings.con"
printf 'admin.enableRemoteAdmin "old"\n' > "$cfg/settings/adminsettings.con"
chown -R fkuser "$cfg"
run --login=fkuser --start --srv-dir=/srv/games/bf1942 "--cfg-dir=$cfg" '--name=Demo server' \
    --max-players=32 --srv-bandwidth=256000 --cl-bandwidth=3 --ip=127.0.0.1 --port=14567 \
    --spy-lan-port=22000 --spy-port=23000 --game-time=20 --score-lim=100 --round-num=3 \
    --srv-passwd --remote-admin-passwd=admin1 --rcon-username=op --rcon-password=secret \
    --rcon-port=4711
sleep 0.5
echo "instance files: $(cd "$cfg" && ls | tr '\n' ' ')"
echo "running: $(tr '\0' ' ' < "/proc/$(cat "$cfg/server.pid")/cmdline")"
echo "settings/serversettings.con:"
sed 's/^/  /' "$cfg/settings/serversettings.con"
sleep 1  # the fake server binds its ports
run --login=fkuser --status "--cfg-dir=$cfg"
run --login=fkuser --send "--cfg-dir=$cfg" '--line=game.sayAll "hello"'
echo "error log" >>"$cfg/stderr.log"
run --login=fkuser --log "--cfg-dir=$cfg" --lines=5
run --login=fkuser --stop "--cfg-dir=$cfg"
run --login=fkuser --status "--cfg-dir=$cfg"
echo "instance files: $(cd "$cfg" && ls | tr '\n' ' ')"
