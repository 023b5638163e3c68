#!/bin/bash
# Gives every fuzz target a short run from its seed corpus; a crash fails.
# usage: fuzz/run.sh BUILD_DIR SECONDS
set -euo pipefail
build=$(cd "$1" && pwd); seconds=${2:-30}
here=$(cd "$(dirname "$0")" && pwd)
for src in "$here"/*_fuzz.cpp; do
  [ -e "$src" ] || continue
  name=$(basename "$src" .cpp)
  stem=${name%_fuzz}
  work="$build/fuzz-work/$stem"; mkdir -p "$work"
  seeds=(); [ -d "$here/corpus/$stem" ] && seeds=("$here/corpus/$stem")
  echo "fuzz: $name for ${seconds}s"
  if ! (cd "$work" && "$build/fuzz/$name" -max_total_time="$seconds" -print_final_stats=1 \
          -max_len=4096 . "${seeds[@]}" 2>&1 | tail -n 15); then
    echo "fuzz: $name found a failure (see $work)"; exit 1
  fi
done
