#!/bin/bash
# Converts one generated PE file with the Linux converter and with the
# Windows one under wine, by several option sets, and fails unless every
# CSV output is the same bytes and every workbook has the same cells.
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

# Workbooks: the same cells, read back by openpyxl (a workbook's bytes hold
# the time it was made). Numbers may differ in their last bits, as the two
# builds of the workbook library print them differently; see
# compare-workbooks.py. The reader holds a whole sheet in memory, so the
# generated input is small here, and a file of its own brings the cells the
# generated one lacks.
"$generate" $((1024 * 1024)) "$work/small.pe"
printf '%s\r\n' 'Time|Value|Comma|Exp|Neg|Text|Empty|Long' \
  '00:00:00.250|237.96462709189137|1,5|1e3|-0.20130667953206483|ok||0.1' \
  '00:00:01|1.0000000000000002|2,25|1E-300|-2.25|'$'\xe4\x80\x01''_x0041_||123456789012345678' \
  '23:59:59.999|5e-324|-3,5|-1e308|-0|12:61:00||99999999999999999999' >"$work/cells.pe"
w=0
while read -r input options; do
  # shellcheck disable=SC2086 # the options are words on purpose
  "$linux/cli/morvane-convert" -q $options -o "$work/linux.xlsx" "$work/$input"
  # shellcheck disable=SC2086
  wine "$windows/cli/morvane-convert.exe" -q $options -o "Z:$work/windows.xlsx" "Z:$work/$input"
  if ! /usr/bin/python3 "$(dirname "$0")/compare-workbooks.py" "$work/linux.xlsx" "$work/windows.xlsx" \
    >"$work/same.txt"; then
    echo "compare: workbooks of $input differ with options '$options'" >&2
    exit 1
  fi
  w=$((w + 1))
done <<'OPTIONS'
small.pe -r --to ;
small.pe -s , --to _ --cell-separator _
cells.pe -r --relative-time-separator | -s | --cell-separator |
cells.pe -s | --cell-separator |
OPTIONS
echo "compare: $w workbooks with the same cells on Linux and under wine"

# Names beyond ASCII, of the input, the output and their folder (a profile
# such as C:\Users\Jürgen; "Ω" is in no Western code page): each format is
# written in place of an earlier output, the same as under a plain name,
# with nothing left beside it and nothing on the standard error.
named="$work/Müller Daten Ω"
mkdir "$named"
cp "$work/cells.pe" "$named/Kühlwasser.pe"
for format in csv xlsx; do
  "$linux/cli/morvane-convert" -q -s '|' --cell-separator '|' --format $format -o "$work/linux.$format" "$work/cells.pe"
  output="$named/Kühlwasser (XLS).$format"
  printf 'earlier' >"$output"
  # Wine reads the Linux names in the locale's character set.
  (cd "$named" && LC_ALL=C.UTF-8 wine "$windows/cli/morvane-convert.exe" -q -s '|' --cell-separator '|' --format $format \
    Kühlwasser.pe 2>"$work/errors.txt")
  if [ -s "$work/errors.txt" ] || [ "$(ls -A "$named" | wc -l)" != 2 ]; then
    echo "compare: $format output of a name beyond ASCII: $(cat "$work/errors.txt"); $(ls -A "$named")" >&2
    exit 1
  fi
  if [ $format = csv ] && ! cmp -s "$work/linux.csv" "$output"; then
    echo "compare: CSV output of a name beyond ASCII differs" >&2
    exit 1
  fi
  if [ $format = xlsx ] && ! /usr/bin/python3 "$(dirname "$0")/compare-workbooks.py" "$work/linux.xlsx" "$output" \
    >"$work/same.txt"; then
    echo "compare: workbook of a name beyond ASCII differs" >&2
    exit 1
  fi
  rm "$output"
done
echo "compare: CSV and workbook written under names beyond ASCII as under plain ones"
