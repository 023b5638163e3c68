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

# The Windows build, when its tools are there: cross-built with mingw-w64
# against the Qt for Windows beside the project, tests run under Wine, and
# one run of the packaged window on a virtual display.
QT_WINDOWS=${MORVANE_QT_WINDOWS:-$PWD/../shared/qt6-mingw}
if command -v x86_64-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null \
   && [ -d "$QT_WINDOWS" ]; then
  echo "== cross-build for Windows and test under Wine"
  cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMORVANE_BENCH=OFF -DMORVANE_QT_WINDOWS="$QT_WINDOWS" >/dev/null
  cmake --build build-win -j "$JOBS"
  cmake --build build-win --target package-win
  # Tests running side by side must not each set up the prefix.
  WINEPREFIX="$PWD/build-win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
  ctest --test-dir build-win -j "$JOBS"
  WINEPREFIX="$PWD/build-win/wineprefix" wineserver -k 2>/dev/null || true
  if command -v Xvfb >/dev/null && command -v xdotool >/dev/null; then
    tools/wine-smoke.sh build-win build
  fi
fi

echo "== build and test under AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DMORVANE_SANITIZE=ON -DMORVANE_BENCH=OFF >/dev/null
cmake --build build-asan -j "$JOBS"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -j "$JOBS"

if command -v clang++-14 >/dev/null || command -v clang++ >/dev/null; then
  if [ -f fuzz/CMakeLists.txt ]; then
    echo "== fuzzing"
    CXX=$(command -v clang++-14 || command -v clang++)
    CC=$(command -v clang-14 || command -v clang)
    cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$CXX" -DCMAKE_C_COMPILER="$CC" \
      -DMORVANE_FUZZ=ON -DMORVANE_GUI=OFF -DMORVANE_TESTS=OFF -DMORVANE_BENCH=OFF >/dev/null
    cmake --build build-fuzz -j "$JOBS"
    ./fuzz/run.sh build-fuzz "${FUZZ_SECONDS:-30}"
  fi
fi
echo "== all passed"
