#!/usr/bin/env bash
# Runs a command inside a private sandbox test host: its own PID, network and
# mount namespaces, loopback only, a private copy of /etc, private /home, /run
# and /srv, and the OpenSSH servers that host-inside.sh starts (the README lists
# them). Everything in it ends with the command.
# Without root there is no sandbox: exit 77, which CTest reports as skipped.
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
    echo "the sandbox test host needs root; skipped"
    exit 77
fi
if [ $# -eq 0 ]; then
    set -- bash
fi
here=$(cd "$(dirname "$0")" && pwd)
exec unshare --pid --fork --mount-proc --net --mount --propagation private -- \
    "$here/host-inside.sh" "$@"
