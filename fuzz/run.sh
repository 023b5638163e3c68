#!/bin/bash
# Gives every fuzz target a short run from its seed corpus; a crash fails.
# Each target spends half its seconds on inputs of up to 4 KiB, where the
# search is quick, and half on inputs of up to 64 KiB, where sizes and counts
# can grow large enough to find costs without bound.
# usage: fuzz/run.sh BUILD_DIR SECONDS
set -euo pipefail
build=$(cd "$1" && pwd); seconds=${2:-30}
here=$(cd "$(dirname "$0")" && pwd)
short=$(( (seconds + 1) / 2 )); long=$(( seconds - short ))
for src in "$here"/*_fuzz.cpp; do
  [ -e "$src" ] || continue
  name=$(basename "$src" .cpp)
  stem=${name%_fuzz}
  work="$build/fuzz-work/$stem"; mkdir -p "$work"
  seeds=(); [ -d "$here/corpus/$stem" ] && seeds=("$here/corpus/$stem")
  for run in "4096 $short" "65536 $long"; do
    read -r max_len secs <<<"$run"
    [ "$secs" -gt 0 ] || continue
    echo "fuzz: $name for ${secs}s, inputs up to $max_len bytes"
    if ! (cd "$work" && "$build/fuzz/$name" -max_total_time="$secs" -print_final_stats=1 \
            -max_len="$max_len" . "${seeds[@]}" 2>&1 | tail -n 15); then
      echo "fuzz: $name found a failure (see $work)"; exit 1
    fi
  done
done
