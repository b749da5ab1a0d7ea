#!/usr/bin/env bash
# The demo's steps, run inside the sandbox test host.
set -uo pipefail
fieldkeep=$1

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
BF1942_PASSWD=wrong run --login=fkuser --check-host
