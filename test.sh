#!/bin/bash
# Sets up what is missing, builds, and runs the whole suite twice: once as
# shipped (the engine's tests once more at each vector width, MORVANE_SIMD)
# and once under AddressSanitizer + UndefinedBehaviorSanitizer; then gives
# each fuzz target a short run when clang is there, the conversion's seed
# inputs first at each width.
set -euo pipefail
cd "$(dirname "$0")"
./tools/setup.sh

JOBS=$(nproc 2>/dev/null || echo 2)
export CTEST_OUTPUT_ON_FAILURE=1

echo "== build and test"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$JOBS"
ctest --test-dir build -j "$JOBS"
# The engine's kernels at every vector width the processor has, not only at
# its widest, which the run above took.
widths=(scalar)
grep -qw sse2 /proc/cpuinfo 2>/dev/null && widths+=(sse2)
grep -qw avx2 /proc/cpuinfo 2>/dev/null && widths+=(avx2)
for width in "${widths[@]}"; do
  echo "== engine tests at vector width $width"
  MORVANE_SIMD=$width ctest --test-dir build -j "$JOBS" -R '^engine_'
done

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
  # The conversion's seed inputs at every width, then the search at the widest.
  for width in "${widths[@]}"; do
    echo "fuzz: convert_file_fuzz's corpus at vector width $width"
    MORVANE_SIMD=$width build-fuzz/fuzz/convert_file_fuzz -runs=0 fuzz/corpus/convert_file 2>&1 | tail -n 2
  done
  ./fuzz/run.sh build-fuzz "${FUZZ_SECONDS:-30}"
fi
# The Windows build, when its tools are there: cross-built with mingw-w64,
# tests run under wine in a prefix of the build's own, no display needed.
# With the Qt for Windows beside the project it takes in the window, its zip
# and one run of the packaged window on a virtual display.
if command -v x86_64-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null; then
  echo "== cross-build for Windows and test under wine"
  QT_WINDOWS=${MORVANE_QT_WINDOWS:-$PWD/../shared/qt6-mingw}
  gui=OFF
  [ -d "$QT_WINDOWS" ] && gui=ON
  cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMORVANE_GUI=$gui -DMORVANE_BENCH=OFF -DMORVANE_QT_WINDOWS="$QT_WINDOWS" >/dev/null
  cmake --build build-win -j "$JOBS"
  [ $gui = ON ] && cmake --build build-win --target package-installer
  export WINEPREFIX="$PWD/build-win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # One server for the whole run spares every test program its start-up,
  # and tests running side by side must not each set up the prefix.
  mkdir -p "$WINEPREFIX"
  wineserver -p
  trap 'wineserver -k 2>/dev/null || true' EXIT
  wineboot -i >/dev/null 2>&1 || true
  ctest --test-dir build-win -j "$JOBS"
  ./tools/compare-windows-output.sh build build-win
  if [ $gui = ON ] && command -v Xvfb >/dev/null && command -v xdotool >/dev/null; then
    tools/wine-smoke.sh build-win build
  fi
  wineserver -k || true
  trap - EXIT
  # The installer gets a prefix of its own, as a fresh Windows would be.
  if [ $gui = ON ]; then
    tools/wine-installer-test.sh build-win build
  fi
fi
echo "== all passed"
