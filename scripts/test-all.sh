#!/usr/bin/env bash
# Checks the shape of the code (includes follow the layers, clang-format leaves
# the sources alone), builds with g++ and clang (warnings are errors) and runs
# every test: the unit tests and the end-to-end tests against the sandbox test
# host, with g++ and again under AddressSanitizer and UndefinedBehaviorSanitizer;
# the fuzz targets for a fixed number of inputs; clang-tidy and cppcheck; the man
# page; and the Debian package, installed into a throwaway overlay.
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

echo "== shape: layers and format"
scripts/check-shape.sh

echo "== g++"
configure_and_build build/gcc -DCMAKE_CXX_COMPILER=g++
ctest --test-dir build/gcc --output-on-failure | tee build/gcc/ctest.log

echo "== clang++"
configure_and_build build/clang -DCMAKE_CXX_COMPILER=clang++
ctest --test-dir build/clang --output-on-failure -R '^unit[.]'

echo "== g++ with AddressSanitizer and UndefinedBehaviorSanitizer"
configure_and_build build/asan -DCMAKE_CXX_COMPILER=g++ -DFIELDKEEP_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS=suppressions=$PWD/tests/lsan-suppressions.txt:print_suppressions=0 \
    ctest --test-dir build/asan --output-on-failure

echo "== fuzzing (libFuzzer, fixed number of inputs)"
configure_and_build build/fuzz -DCMAKE_CXX_COMPILER=clang++ -DFIELDKEEP_FUZZ=ON \
    -DFIELDKEEP_TESTS=OFF -DFIELDKEEP_BENCH=OFF
ctest --test-dir build/fuzz --output-on-failure

echo "== static analysis"
clang-tidy -p build/clang --quiet src/*/*.cpp 2>/dev/null
cppcheck --quiet --enable=warning,performance,portability --error-exitcode=1 --inline-suppr \
    --std=c++17 -I src src
echo "clang-tidy and cppcheck: clean"

echo "== man page"
warnings=$(MANWIDTH=80 man --warnings -l docs/fieldkeep.1 2>&1 >/dev/null)
[ -z "$warnings" ] || { echo "$warnings"; exit 1; }
echo "docs/fieldkeep.1 renders without warnings"

echo "== package"
tests/package/test-package.sh

echo "== summary"
grep 'tests passed' build/gcc/ctest.log
