#!/usr/bin/env bash
# Builds the Debian package, installs it into a throwaway copy of the system
# (overlays on /usr, /var and /etc in a private mount namespace) and runs the
# installed binary. Nothing of the install survives the test.
set -euo pipefail
cd "$(dirname "$0")/../.."
[ "$(id -u)" -eq 0 ] || { echo "installing a package needs root; skipped"; exit 0; }
build=build/package
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DFIELDKEEP_TESTS=OFF -DFIELDKEEP_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target fieldkeep
(cd "$build" && cpack >/dev/null)
package=$(ls "$PWD/$build"/fieldkeep_*.deb)
echo "built $(basename "$package")"

exec unshare --mount --propagation private -- bash -euo pipefail -s "$package" <<'INSTALLED'
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for dir in /usr /var /etc; do
    mkdir -p "$scratch$dir/upper" "$scratch$dir/work"
    mount -t overlay overlay -o "lowerdir=$dir,upperdir=$scratch$dir/upper,workdir=$scratch$dir/work" "$dir"
done
dpkg -i "$1" >/dev/null
expect() { [ "$2" = "$3" ] || { echo "FAIL: $1: [$2], not [$3]"; exit 1; }; }
depends=$(dpkg-query -W -f='${Depends}' fieldkeep)
for needed in libssh2-1 libcrypt1; do
    expect "Depends: $depends" "$(grep -o "$needed" <<<"$depends" | head -n 1)" "$needed"
done
expect "installed at" "$(command -v fieldkeep)" /usr/bin/fieldkeep
expect "--help" "$(BF1942_PASSWD=x fieldkeep --address=nowhere.invalid --login=nobody --help 2>&1; echo $?)" 0
expect "man page" "$(ls /usr/share/man/man1/fieldkeep.1*)" /usr/share/man/man1/fieldkeep.1
echo "package installs; installed fieldkeep runs: 1 passed, 0 failed"
INSTALLED
