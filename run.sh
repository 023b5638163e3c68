#!/bin/bash
# Sets up what is missing, builds, and opens the window.
set -euo pipefail
cd "$(dirname "$0")"
./tools/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"
if [ -x build/app/morvane ]; then
  exec build/app/morvane "$@"
fi
# Until the window exists, show the engine at work on the bundled sample.
out="build/sample (XLS).csv"
build/cli/morvane-convert -o "$out" --to ';' -r tests/data/sample.pe
echo "Converted tests/data/sample.pe into $out"
