#!/bin/bash
# Sets up what is missing, builds, and runs the whole suite twice: once as
# shipped and once under AddressSanitizer + UndefinedBehaviorSanitizer; then
# gives each fuzz target a short run when clang is there.
set -euo pipefail
cd "$(dirname "$0")"
./tools/setup.sh

JOBS=$(nproc 2>/dev/null || echo 2)
export CTEST_OUTPUT_ON_FAILURE=1

echo "== build and test"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$JOBS"
ctest --test-dir build -j "$JOBS"

echo "== build and test under AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DMORVANE_SANITIZE=ON -DMORVANE_BENCH=OFF >/dev/null
cmake --build build-asan -j "$JOBS"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -j "$JOBS"

if command -v clang++-14 >/dev/null || command -v clang++ >/dev/null; then
  echo "== fuzzing"
  CXX=$(command -v clang++-14 || command -v clang++)
  CC=$(command -v clang-14 || command -v clang)
  cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$CXX" -DCMAKE_C_COMPILER="$CC" \
    -DMORVANE_FUZZ=ON -DMORVANE_GUI=OFF -DMORVANE_TESTS=OFF -DMORVANE_BENCH=OFF >/dev/null
  cmake --build build-fuzz -j "$JOBS"
  ./fuzz/run.sh build-fuzz "${FUZZ_SECONDS:-30}"
fi
echo "== all passed"
