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
# Each instance command is one remote command. The machine's own pace varies
# from run to run as much as a round trip, so each run is paired with an exec
# true over the same link just before it, and the median of the differences
# counts: the round trips beyond exec true's, less the command's own wait (the
# launch's and the stop script's one second). Targets: start 3, status and stop 1.5.
# These runs log in with fkuser's key: OpenSSH pads a password check out to a
# doubling of a per-user delay, so a hash that takes about that delay costs
# either once or twice it, half a round trip that would fall on either side of
# a pair at random. Both sides log in the same way.
nanoseconds() { date +%s%N; }
key=$FK_KEYS/id_ed25519
# RUNS pairs over the link to $1: exec true, then the command "${@:4}" less $2
# seconds; $3 runs untimed after each pair. Prints the median in round trips.
beyond_exec_true() {
    local address=$1 wait=$2 between=$3 diffs=() t0 t1 t2 i
    shift 3
    for i in $(seq "$runs"); do
        t0=$(nanoseconds); BF1942_IDENTITY=$key "$fieldkeep" --address="$address" --login=fkuser \
            --exec --cmd=true >/dev/null
        t1=$(nanoseconds); BF1942_IDENTITY=$key /usr/bin/time -f %M -o /run/bench.rss "$fieldkeep" \
            --address="$address" --login=fkuser "$@" >/dev/null
        t2=$(nanoseconds)
        diffs+=("$(( (t2 - t1) - (t1 - t0) ))")
        eval "$between" >/dev/null
    done
    printf '%s\n' "${diffs[@]}" | sort -n | awk -v w="$wait" -v r="$rtt" \
        '{ d[NR] = $1 } END { printf "%.2f", (d[int((NR + 1) / 2)] / 1e9 - w) / r }'
}
fast() { "$fieldkeep" --address=testhost --login=fkuser "$@"; }
for link in "slowhost:" "slowdropbear:, Dropbear" "slowonesession:, MaxSessions 1"; do
    trips_beyond=$(beyond_exec_true "${link%%:*}" 1 'fast --stop --cfg-dir=$base/cfg' "${start_args[@]}")
    row "start, fresh instance${link#*:}: round trips" "$trips_beyond" "" "" "$(peak_kib) KiB"
done
fast "${start_args[@]}" >/dev/null
"$fieldkeep" --address=slowhost --login=fkuser --status --cfg-dir=$base/cfg | grep -q '^query: answered' ||
    { echo "status: the instance is not running or its game does not answer" >&2; exit 1; }
trips_beyond=$(beyond_exec_true slowhost 0 true --status --cfg-dir=$base/cfg)
row "status, running instance: round trips" "$trips_beyond" "" "" "$(peak_kib) KiB"
trips_beyond=$(beyond_exec_true slowhost 1 'fast "${start_args[@]}"' --stop --cfg-dir=$base/cfg)
row "stop, running instance: round trips" "$trips_beyond" "" "" "$(peak_kib) KiB"
fast --stop --cfg-dir=$base/cfg >/dev/null
row "  (beyond exec true's, less their own waits)" "" "" "" ""

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
