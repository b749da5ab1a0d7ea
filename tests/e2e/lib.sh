# Helpers for the end-to-end tests' bash lines, run in the case's /srv/t (output in /srv/out).

# fieldkeep on testhost as AS with password PW (default: fkuser's), errors into the output.
fk() {
    BF1942_PASSWD=${PW-$FK_USER_PASSWORD} "$FIELDKEEP" --address=testhost --login="${AS-fkuser}" \
        "$@" 2>&1
}

# Whether the shell condition $1 turns true within ten seconds.
soon() { for _ in $(seq 100); do eval "$1" && return 0; sleep 0.1; done; return 1; }

listening() { soon "(exec 3<>/dev/tcp/$1/$2) 2>/dev/null"; }

# A game server in game/bf1942 and its settings in cfg, owned by $1 (fkuser).
instance() {
    mkdir -p game cfg/settings && tar -xzf /srv/www/bf.tar.gz -C game || return 1
    chmod 750 game/bf1942/*.sh
    printf 'game.serverName "old name"\n  game.serverMaxPlayers 8 // players\nGAME.SERVERPORT 1\n'`
        `'game.serverIP\n\tgame.serverPassword "old"\ngame.serverNumberOfRounds 1' \
        >cfg/settings/serversettings.con
    printf '%s\n' 'admin.enableRemoteAdmin "old"' 'admin.enableRemoteConsole "a" "b" 1' \
        >cfg/settings/adminsettings.con
    chown -R "${1:-fkuser}" .
}

# A Quake III server in q3game/ioq3, its home in cfg with baseq3/server.cfg, owned by $1 (fkuser).
q3instance() {
    mkdir -p q3game cfg/baseq3 && tar -xzf /srv/www/q3.tar.gz -C q3game || return 1
    chmod 750 q3game/ioq3/ioq3ded
    printf '%s\n' 'seta sv_hostname "old name"' 'seta g_motd "keep me"' 'set sv_maxclients 8 // slots' \
        >cfg/baseq3/server.cfg
    chown -R "${1:-fkuser}" .
}

# Whether the process of the pid file $1 runs (not a zombie) once the file is written.
alive() { soon "test -s $1" && ps -o stat= -p "$(cat "$1")" | grep -qv Z; }

# The instance in cfg runs: its scripts are runnable, its console is a pipe, the
# server and its wrapper are alive, the server started with cfg as its overlay.
started() {
    [ "$(stat -c %a cfg/start.sh cfg/stop.sh)" = $'750\n750' ] && test -p cfg/server-stdin &&
        alive cfg/start.pid && alive cfg/server.pid && soon 'test -s cfg/server.args' &&
        [ "$(cat cfg/server.args)" = $'+statusMonitor\n1\n+overlayPath\n/srv/t/cfg' ]
}

# The server whose pids were saved in cfg/old-*.pid quit when told, with its wrapper.
stopped() {
    grep -qx quit cfg/server.quit && ! alive cfg/old-start.pid && ! alive cfg/old-server.pid
}

# $1 run by fktenant, the second account of the host.
tenant() { setpriv --reuid=fktenant --regid=fktenant --clear-groups -- sh -c "$1"; }

# fktenant polls the command lines of the account $1 for the words $2... until spied: a match goes
# to found.
spy() {
    printf '%s\n' "${@:2}" >secrets; tenant "until [ -e done ]; do ps -u $1 -wwo args= |
        grep -aFf secrets >>found; echo >>polls; done" >/dev/null 2>&1 &
}
spied() {
    touch done && soon '! pgrep -u fktenant' && [ "$(wc -l <polls)" -gt 10 ] && ! test -s found; }

# A process of the account $1 that belongs to no instance, its pid in planted.pid and in $2...
plant() {
    setpriv --reuid="$1" --regid="$1" --clear-groups sleep 60 >/dev/null 2>&1 &
    echo $! | tee planted.pid "${@:2}" >/dev/null
}

# l/$2, $1 bytes, to upload into r, which has a directory "it's a dir" and a file "old".
to_copy() {
    mkdir -p l "r/it's a dir" && echo old content >r/old && chmod -R 777 r &&
        rm -f /srv/small/big && head -c "$1" /dev/urandom >"l/$2"
}

# The upload of l/$1 arrived as $2 byte for byte; a new file with mode 640, owned by the login.
arrived() {
    cmp "l/$1" "$2" && { [ "$2" = /srv/t/r/old ] || [ "$(stat -c %a%U "$2")" = 640fkuser ]; }
}

# A proxy on $1:22 to testhost's sshd (delay, rate, buffer: $2), signal $3 (-: none) after $4 s.
link() {
    "$LINK_PROXY" "$1" 22 127.0.0.1 22 $2 >/dev/null 2>&1 &
    local pid=$!
    listening "$1" 22 || return 1
    { [ "$3" = - ] || { sleep "$4"; kill -"$3" $pid; }; } >/dev/null 2>&1 &
}

# Port 24555 held by a socket of family AF_INET$1, kind SOCK_$2, bound to $3; its pid in hold.pid.
hold() {
    python3 -c "import socket, time; s = socket.socket(socket.AF_INET$1, socket.SOCK_$2)
s.bind(('$3', 24555)); '$2' == 'DGRAM' or s.listen(); open('held', 'w'); time.sleep(60)" \
        >/dev/null 2>&1 &
    echo $! >hold.pid
    soon 'test -e held'
}

# The install that /srv/out tells of, into $1: its status file $2 holds $3 (empty: not 0), its
# log $4 has $5; a finished one leaves a server in $1/bf1942 that --check-install accepts.
installed() {
    local t result
    t=$(sed -n "s/^temp dir: '\(.*\)'$/\1/p" /srv/out)
    result=$t/$2
    soon 'test -s "$result"' && grep -qFe "$5" "$t/$4" || return 1
    if [ -n "$3" ]; then grep -qxe "$3" "$result"; else ! grep -qx 0 "$result"; fi || return 1
    [ "$2" = install_ok.ret ] || { ! test -e "$1/bf1942/start.sh"; return; }
    [ "$(cd "$1/bf1942" && stat -c %a bf1942_lnxded.* *.sh | sort -u)" = 750 ] &&
        test -e "$1/bf1942/fixinstall.done" && [ "$(fk --check-install --dir="$1/bf1942")" = ok ]
}

# The login and password a --create-user run printed log in, and only with that password; the
# home is the login's only.
logs_in() {
    local login password
    login=$(sed -n 's/^login: "\(.*\)"$/\1/p' /srv/out)
    password=$(sed -n 's/^password: "\([0-9A-Za-z]\{10\}\)"$/\1/p' /srv/out)
    getent passwd "$login" | grep -q ":Talvor's BF1942 module:/home/$login:" &&
        [ "$(stat -c %a "/home/$login")" = 700 ] &&
        [ "$(AS=$login PW=$password fk --exec --cmd='id -un')" = "$login"$'\n\n'0 ] &&
        [ "$(AS=$login PW=${password}x fk --check-host)" = "Authentication failed" ]
}

# No account of those --create-user makes.
no_accounts() {
    local n
    for n in bf1942 bf battlefield battlefield1942 $(getent passwd | grep -o '^bf1942_[^:]*'); do
        { userdel -r "$n"; groupdel "$n"; } >/dev/null 2>&1
    done
}

# /srv/out gives as $1 a time (ISO 8601, UTC) from the one in t0 to now.
recent() {
    local t
    t=$(date -d "$(sed -n "s/^$1: \(....-..-..T..:..:..Z\)$/\1/p" /srv/out)" +%s) &&
        [ "$t" -ge "$(cat t0)" ] && [ "$t" -le "$(date +%s)" ]
}

# /srv/out, a --status report, shows the server of cfg running since t0, with more memory than its
# child alone, the ports of its settings, which the child holds, and the game's answer.
shows_running() {
    local child
    child=$(pgrep -P "$(cat cfg/server.pid)" python3) && recent since &&
        [ "$(sed -n 's/^memory: \([0-9]*\) KiB$/\1/p' /srv/out)" -gt \
        "$(awk '/^VmRSS/ { print $2 }' "/proc/$child/status")" ] && [ "$(sed '3,4d; s/[0-9]* ms$/N ms/' \
        /srv/out)" = "state: running"$'\n'"pid: $(cat cfg/server.pid)"$'\n'"ports: 14567/udp "`
        `"23000/udp 4711/tcp"$'\n'"query: answered in N ms"$'\n'"name: My server"$'\n'"map: Wake "`
        `"Island"$'\n'"players: 2/16" ] && [ "$(ss -Hlntup | grep -c "pid=$child,")" = 3 ]
}

# fktenant answers the game's query on 127.0.0.1:23000 with a name of its own, for 30 s.
squat() {
    printf '%s\n' 'import socket' 's = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)' \
        's.bind(("127.0.0.1", 23000))' 'while True:' '    d, a = s.recvfrom(99)' \
        '    s.sendto(b"\\hostname\\FORGED\\numplayers\\0\\final\\\\queryid\\1.1", a)' >squat.py
    tenant 'timeout 30 python3 squat.py' >/dev/null 2>&1 &
    soon "ss -Hlun | grep -q '127.0.0.1:23000 '"
}
