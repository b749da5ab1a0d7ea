#!/usr/bin/env bash
# Builds the Debian package, installs it into a throwaway copy of the system
# (overlays on /usr, /var and /etc in a private mount namespace) and runs the
# installed binary. Nothing of the install survives the test.
set -euo pipefail
cd "$(dirname "$0")/../.."
if [ "$(id -u)" -ne 0 ]; then
    echo "installing a package needs root; skipped"
    exit 0
fi
build=build/package
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DFIELDKEEP_TESTS=OFF -DFIELDKEEP_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target fieldkeep
(cd "$build" && cpack >/dev/null)
package=$(ls "$PWD/$build"/fieldkeep_*.deb)
echo "built $(basename "$package")"

exec unshare --mount --propagation private -- bash -euo pipefail -c '
    package=$1
    scratch=$(mktemp -d)
    trap "rm -rf $scratch" EXIT
    for dir in /usr /var /etc; do
        mkdir -p "$scratch$dir/upper" "$scratch$dir/work"
        mount -t overlay overlay -o "lowerdir=$dir,upperdir=$scratch$dir/upper,workdir=$scratch$dir/work" "$dir"
    done
    dpkg -i "$package" >/dev/null
    depends=$(dpkg-query -W -f="\${Depends}" fieldkeep)
    echo "Depends: $depends"
    for needed in libssh2-1 libcrypt1; do
        case "$depends" in *"$needed"*) ;; *) echo "FAIL: $needed missing from Depends"; exit 1 ;; esac
    done
    [ "$(command -v fieldkeep)" = /usr/bin/fieldkeep ] || { echo "FAIL: not installed in /usr/bin"; exit 1; }
    out=$(BF1942_PASSWD=x fieldkeep --address=nowhere.invalid --login=nobody --help 2>&1) && status=0 || status=$?
    [ "$status" -eq 0 ] && [ -z "$out" ] || { echo "FAIL: --help gave status $status, output [$out]"; exit 1; }
    out=$(fieldkeep 2>&1) && status=0 || status=$?
    [ "$status" -eq 1 ] && [ "$out" = "Requires long option '"'"'--address'"'"'" ] || { echo "FAIL: [$out] $status"; exit 1; }
    [ -f /usr/share/man/man1/fieldkeep.1 ] || { echo "FAIL: no man page"; exit 1; }
    echo "package installs; installed fieldkeep runs: 1 passed, 0 failed"
' bash "$package"
