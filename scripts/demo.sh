#!/usr/bin/env bash
# Builds fieldkeep and runs its commands against the sandbox test host, showing
# each command line, its output and its exit status.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/gcc -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/gcc -j "$(nproc)" --target fieldkeep
exec tests/host/run-in-host.sh "$PWD/scripts/demo-inside.sh" "$PWD/build/gcc/fieldkeep"
