#!/usr/bin/env bash
# Runs a command inside a private sandbox test host: its own PID, network and
# mount namespaces, loopback only, a private copy of /etc, private /home, /run
# and /srv, and OpenSSH servers on 127.0.0.1:22 (password logins) and
# 127.0.0.2:22 (public-key logins only). Everything in it ends with the command.
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
