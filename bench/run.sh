#!/usr/bin/env bash
# Benchmarks fieldkeep side by side with OpenSSH on the sandbox test host and
# prints one table. Usage: bench/run.sh [ONE_WAY_DELAY_MS (default 50)] [RUNS (default 5)]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
missing=()
for p in sshpass time; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DFIELDKEEP_TESTS=OFF >/dev/null
cmake --build build/release -j "$(nproc)" --target fieldkeep delay_proxy
exec tests/host/run-in-host.sh "$PWD/bench/bench-inside.sh" "$PWD/build/release" "${1:-50}" "${2:-5}"
