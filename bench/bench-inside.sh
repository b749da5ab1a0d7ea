#!/usr/bin/env bash
# The benchmark itself, inside the sandbox host. Arguments: BUILD_DIR DELAY_MS RUNS
set -euo pipefail
build=$1
delay_ms=$2
runs=$3
here=$(cd "$(dirname "$0")" && pwd)
fieldkeep=$build/fieldkeep
rtt=$(awk -v d="$delay_ms" 'BEGIN { print 2 * d / 1000 }')

# The slow links: proxies that delay each direction, on 127.0.0.50:22 to
# OpenSSH, .51 to Dropbear and .52 to the sshd with MaxSessions 1.
slow_link() {
    echo "$1 $2" >> /etc/hosts
    "$build/bench/delay_proxy" "$1" 22 "$3" 22 "$delay_ms" &
    for _ in $(seq 1 50); do (exec 3<>/dev/tcp/"$1"/22) 2>/dev/null && break; sleep 0.1; done
}
slow_link 127.0.0.50 slowhost 127.0.0.1
slow_link 127.0.0.51 slowdropbear 127.0.0.6
slow_link 127.0.0.52 slowonesession 127.0.0.4

export BF1942_PASSWD=$FK_USER_PASSWORD
ssh_opts=(-o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o LogLevel=ERROR
          -o PubkeyAuthentication=no -o PreferredAuthentications=password -o GSSAPIAuthentication=no)
export SSHPASS=$FK_USER_PASSWORD

# Median wall time in seconds of RUNS runs of a command (its output discarded);
# the peak resident memory in KiB of the last run is left for peak_kib.
peak_kib() { tail -n 1 /run/bench.rss; }
median_seconds() {
    local times=() start end
    for _ in $(seq 1 "$runs"); do
        start=$(date +%s%N)
        /usr/bin/time -f %M -o /run/bench.rss "$@" >/dev/null
        end=$(date +%s%N)
        times+=("$(( (end - start) / 1000 ))")
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END { printf "%.3f", t[int((NR + 1) / 2)] / 1e6 }'
}

rows=()
row() { rows+=("$(printf '%-44s %12s %12s %8s %10s' "$@")"); }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
mib_per_s() { awk -v s="$1" 'BEGIN { printf "%.0f MiB/s", 64 / s }'; }
trips() { awk -v s="$1" -v r="$rtt" 'BEGIN { if (r > 0) printf "%.1f", s / r; else printf "-" }'; }

# Latency of one remote command over the slow link.
ours=$(median_seconds "$fieldkeep" --address=slowhost --login=fkuser --exec --cmd=true); ours_rss=$(peak_kib)
exec_true=$ours
theirs=$(median_seconds sshpass -e ssh "${ssh_opts[@]}" fkuser@slowhost true)
row "exec true over ${rtt}s RTT (s)" "$ours" "$theirs" "$(ratio "$ours" "$theirs")" "$ours_rss KiB"
row "  in round trips" "$(trips "$ours")" "$(trips "$theirs")" "" ""

# A fresh instance of the fake game server, started and stopped over the slow link.
base=/srv/bench; mkdir -p $base/game $base/cfg/settings
tar -xzf /srv/www/bf.tar.gz -C $base/game && chmod 750 $base/game/bf1942/*.sh
printf 'game.serverName "x"\n' > $base/cfg/settings/serversettings.con
printf 'admin.enableRemoteAdmin "x"\n' > $base/cfg/settings/adminsettings.con
chown -R fkuser $base
# The game answers its query on --ip, the address of the slow link (UDP is not delayed).
start_args=(--start --srv-dir=$base/game/bf1942 --cfg-dir=$base/cfg --name=Bench --max-players=16
    --srv-bandwidth=1 --cl-bandwidth=1 --ip=127.0.0.50 --port=14567 --spy-lan-port=22000
    --spy-port=23000 --game-time=1 --score-lim=1 --round-num=1 --srv-passwd
    --remote-admin-passwd=a --rcon-username=u --rcon-password=p --rcon-port=4711)
# One remote command, the whole script; the launch waits 1 s on the host before its first look.
# The target: at most the round trips of exec true plus 3.
beyond_exec_true() {
    awk -v s="$1" -v e="$exec_true" -v r="$rtt" 'BEGIN { if (r > 0) printf "%.2f", (s - e) / r; else printf "-" }'
}
# The median wall time in seconds of three runs of "$@", with the untimed
# command in $1 run between them, and the peak memory of the last run.
median_of_three() {
    local between=$1 times=() t0 t1 i
    shift
    for i in 1 2 3; do
        t0=$(date +%s%N); /usr/bin/time -f %M -o /run/bench.rss "$@" >/dev/null; t1=$(date +%s%N)
        times+=("$((t1 - t0))")
        [ "$i" = 3 ] || eval "$between" >/dev/null
    done
    printf '%s\n' "${times[@]}" | sort -n | awk 'NR == 2 { printf "%.3f", $1 / 1e9 }'
}
fast_stop="\"\$fieldkeep\" --address=testhost --login=fkuser --stop --cfg-dir=$base/cfg"
fast_start="\"\$fieldkeep\" --address=testhost --login=fkuser \"\${start_args[@]}\""
# Starts over the slow link to $1, reported as $2; the instance runs afterwards.
measure_start() {
    local start_s start_net start_rss
    start_s=$(median_of_three "$fast_stop" "$fieldkeep" --address="$1" --login=fkuser "${start_args[@]}")
    start_rss=$(peak_kib)
    start_net=$(awk -v s="$start_s" 'BEGIN { printf "%.3f", s - 1 }')
    row "start, fresh instance$2 (s)" "$start_s" "" "" "$start_rss KiB"
    row "  in round trips, less the launch's 1 s wait" "$(trips "$start_net")" "" "" ""
    row "  round trips beyond exec true's" "$(beyond_exec_true "$start_net")" "" "" ""
}
measure_start slowhost ""
# The status of the running instance: one remote command, like exec true, and the
# game's query; the target is the round trips of exec true plus 1.5.
status_s=$(median_seconds "$fieldkeep" --address=slowhost --login=fkuser --status --cfg-dir=$base/cfg)
status_rss=$(peak_kib)
"$fieldkeep" --address=slowhost --login=fkuser --status --cfg-dir=$base/cfg | grep -q '^query: answered' ||
    { echo "status: the instance is not running or its game does not answer" >&2; exit 1; }
row "status, running instance (s)" "$status_s" "" "" "$status_rss KiB"
row "  in round trips (exec true: $(trips "$exec_true"))" "$(trips "$status_s")" "" "" ""
row "  round trips beyond exec true's" "$(beyond_exec_true "$status_s")" "" "" ""
# One remote command; the stop script waits 1 s for the server to quit.
stop_s=$(median_of_three "$fast_start" "$fieldkeep" --address=slowhost --login=fkuser --stop --cfg-dir=$base/cfg)
stop_rss=$(peak_kib)
row "stop, running instance (s)" "$stop_s" "" "" "$stop_rss KiB"
row "  in round trips, less the script's 1 s wait" \
    "$(trips "$(awk -v s="$stop_s" 'BEGIN { print s - 1 }')")" "" "" ""
row "  round trips beyond exec true's" "$(beyond_exec_true "$(awk -v s="$stop_s" 'BEGIN { print s - 1 }')")" "" "" ""
# The same start on Dropbear 2022.83 and on an sshd with MaxSessions 1.
measure_start slowdropbear ", Dropbear"
"$fieldkeep" --address=testhost --login=fkuser --stop --cfg-dir=$base/cfg
measure_start slowonesession ", MaxSessions 1"
"$fieldkeep" --address=testhost --login=fkuser --stop --cfg-dir=$base/cfg

# Throughput on loopback.
head -c $((64 * 1024 * 1024)) /dev/urandom > /srv/bench/big
chmod 644 /srv/bench/big
ours=$(median_seconds "$fieldkeep" --address=testhost --login=fkuser --copy-file --from=/srv/bench/big --to=/home/fkuser/big); ours_rss=$(peak_kib)
cmp -s /srv/bench/big /home/fkuser/big || { echo "copy-file: content differs" >&2; exit 1; }
theirs=$(median_seconds sshpass -e scp -O "${ssh_opts[@]}" /srv/bench/big fkuser@testhost:/home/fkuser/big2)
row "copy-file 64 MiB (s)" "$ours" "$theirs" "$(ratio "$theirs" "$ours")" "$ours_rss KiB"
row "  throughput" "$(mib_per_s "$ours")" "$(mib_per_s "$theirs")" "" ""
ours=$(median_seconds "$fieldkeep" --address=testhost --login=fkuser --exec --cmd='cat /srv/bench/big'); ours_rss=$(peak_kib)
theirs=$(median_seconds sshpass -e ssh "${ssh_opts[@]}" fkuser@testhost cat /srv/bench/big)
row "exec cat 64 MiB (s)" "$ours" "$theirs" "$(ratio "$theirs" "$ours")" "$ours_rss KiB"
row "  throughput" "$(mib_per_s "$ours")" "$(mib_per_s "$theirs")" "" ""
# Memory stays flat for output that holds no digit, all of which could still
# be the status trailer until the end (target: under 32 MiB).
t0=$(date +%s%N)
/usr/bin/time -f %M -o /run/bench.rss "$fieldkeep" --address=testhost --login=fkuser --exec \
    --cmd='head -c 300000000 /dev/zero' >/dev/null
t1=$(date +%s%N)
row "exec of 300 MB without digits (s)" "$(awk -v n=$((t1 - t0)) 'BEGIN { printf "%.3f", n / 1e9 }')" \
    "" "" "$(peak_kib) KiB"
# Hostile output ends the run within its bound and in little memory (target: under 32 MiB):
# a server flooding the answer to "uname", a command flooding its error stream (held back up
# to 256 MiB), and endless output cut by the run's time limit (3 s).
hostile() {
    local label=$1 t0 t1
    shift
    t0=$(date +%s%N)
    /usr/bin/time -f %M -o /run/bench.rss "$@" >/dev/null || true
    t1=$(date +%s%N)
    row "$label" "$(awk -v n=$((t1 - t0)) 'BEGIN { printf "%.3f", n / 1e9 }')" "" "" \
        "$(peak_kib) KiB"
}
hostile "check-host, flooded answer (s)" "$fieldkeep" --address=127.0.0.8 --login=fkuser \
    --check-host
hostile "exec, flooded error stream (s)" "$fieldkeep" --address=testhost --login=fkuser --exec \
    --cmd='yes >&2'
hostile "exec, endless output, 3 s limit (s)" env BF1942_RUN_TIMEOUT=3 "$fieldkeep" \
    --address=testhost --login=fkuser --exec --cmd=yes

echo
echo "one-way delay ${delay_ms} ms, median of $runs runs; ratio: latency ours/theirs, throughput ours/theirs"
printf '%-44s %12s %12s %8s %10s\n' "measure" "fieldkeep" "OpenSSH" "ratio" "peak RSS"
printf '%s\n' "${rows[@]}"
