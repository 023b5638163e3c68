#!/bin/bash
# Times morvane-convert against plain copies of one large PE file.
# usage: bench/run.sh [BUILD_DIR] [SIZE_MiB] [WORK_DIR]
#   BUILD_DIR  where morvane-convert and make-pe were built (default: build)
#   SIZE_MiB   size of the generated input (default: 1024)
#   WORK_DIR   scratch folder, removed afterwards (default: BUILD_DIR/bench-work)
# Prints the median wall time of 3 runs of each command, its ratio to the
# dd copy and its peak memory.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
size_mib=${2:-1024}
work=${3:-$build/bench-work}
convert=$build/cli/morvane-convert
generate=$build/bench/make-pe
for tool in "$convert" "$generate"; do
  [ -x "$tool" ] || { echo "bench: $tool is missing; build first" >&2; exit 1; }
done

mkdir -p "$work"
work=$(cd "$work" && pwd)
trap 'rm -rf "$work"' EXIT
input=$work/input.pe
output=$work/output.csv

echo "bench: generating ${size_mib} MiB of PE data"
"$generate" $((size_mib * 1024 * 1024)) "$input"
cat "$input" >/dev/null # into the page cache, so every command starts alike

# Runs "$@" once; prints "seconds peak_KiB".
run_once() {
  rm -f "$output"; sync
  local start end peak
  start=$(date +%s.%N)
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f %M -o "$work/peak" "$@" >/dev/null
    peak=$(tail -n 1 "$work/peak")
  else
    # Without GNU time: sample the high-water mark until the process ends.
    "$@" >/dev/null & local pid=$! hwm=0 v
    while kill -0 "$pid" 2>/dev/null; do
      v=$(awk '/^VmHWM/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
      [ -n "$v" ] && hwm=$v
      sleep 0.02
    done
    wait "$pid"
    peak=$hwm
  fi
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" -v p="$peak" 'BEGIN { printf "%.3f %d\n", b - a, p }'
}

declare -A median peak
measure() {
  local name=$1; shift
  local times=() p=0 t m
  for _ in 1 2 3; do
    read -r t m < <(run_once "$@")
    times+=("$t"); [ "$m" -gt "$p" ] && p=$m
  done
  median[$name]=$(printf '%s\n' "${times[@]}" | sort -g | sed -n 2p)
  peak[$name]=$p
}

names=("dd bs=64K" "tr , ';'" "morvane-convert --to ';'" "morvane-convert --to ';' -r")
measure "${names[0]}" dd if="$input" of="$output" bs=64K status=none
measure "${names[1]}" sh -c 'tr , ";" <"$1" >"$2"' tr "$input" "$output"
measure "${names[2]}" "$convert" -q --to ';' -o "$output" "$input"
measure "${names[3]}" "$convert" -q --to ';' -r -o "$output" "$input"
if command -v script >/dev/null; then
  # The progress bar only draws on a terminal; give it one.
  names+=("morvane-convert --to ';' (progress bar)")
  measure "${names[4]}" script -qec "'$convert' --to ';' -o '$output' '$input' >/dev/null" /dev/null
fi

copy=${median[${names[0]}]}
printf '\n%-42s %10s %8s %12s\n' "command (${size_mib} MiB input)" "median s" "ratio" "peak MiB"
for name in "${names[@]}"; do
  awk -v n="$name" -v t="${median[$name]}" -v c="$copy" -v p="${peak[$name]}" \
    'BEGIN { printf "%-42s %10.3f %8.2f %12.1f\n", n, t, t / c, p / 1024 }'
done
