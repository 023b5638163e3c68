#!/bin/bash
# Converts one generated PE file with the Linux converter and with the
# Windows one under wine, by several option sets, and fails unless every
# output is the same bytes.
# usage: tools/compare-windows-output.sh LINUX_BUILD_DIR WINDOWS_BUILD_DIR [SIZE_MiB]
# WINEPREFIX and WINEDEBUG are taken from the environment.
set -euo pipefail
linux=$(cd "$1" && pwd)
windows=$(cd "$2" && pwd)
size_mib=${3:-32}
generate=$linux/bench/make-pe
for tool in "$generate" "$linux/cli/morvane-convert" "$windows/cli/morvane-convert.exe"; do
  [ -x "$tool" ] || { echo "compare: $tool is missing; build first" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$generate" $((size_mib * 1024 * 1024)) "$work/input.pe"
export LC_ALL=C
n=0
while IFS= read -r options; do
  # shellcheck disable=SC2086 # the options are words on purpose
  "$linux/cli/morvane-convert" -q $options -o "$work/linux.csv" "$work/input.pe"
  # shellcheck disable=SC2086
  wine "$windows/cli/morvane-convert.exe" -q $options -o "Z:$work/windows.csv" "Z:$work/input.pe"
  if ! cmp -s "$work/linux.csv" "$work/windows.csv"; then
    echo "compare: outputs differ with options '$options'" >&2
    exit 1
  fi
  n=$((n + 1))
done <<'OPTIONS'

-r --to ;
-s ,: --to _ --header-map |
OPTIONS
echo "compare: $n conversions of ${size_mib} MiB identical on Linux and under wine"
