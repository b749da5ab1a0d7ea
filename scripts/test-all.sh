#!/usr/bin/env bash
# Builds with g++ and clang (warnings are errors) and runs every test: the unit
# tests and the end-to-end tests against the sandbox test host, with g++ and
# again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
configure_and_build() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
}

echo "== g++"
configure_and_build build/gcc -DCMAKE_CXX_COMPILER=g++
ctest --test-dir build/gcc --output-on-failure

echo "== clang++"
configure_and_build build/clang -DCMAKE_CXX_COMPILER=clang++
ctest --test-dir build/clang --output-on-failure -R '^unit$'

echo "== g++ with AddressSanitizer and UndefinedBehaviorSanitizer"
configure_and_build build/asan -DCMAKE_CXX_COMPILER=g++ -DFIELDKEEP_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build/asan --output-on-failure
