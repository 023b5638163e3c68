#!/bin/bash
# One run of the Windows package as a user would: unpack the zip into a
# fresh folder, start morvane.exe in a fresh Wine prefix on a virtual X
# display with the real "windows" platform, find the window by its caption,
# type the path of a PE file, go to the last page and press Alt+G; the CSV
# must equal the Linux build's. Then "Look…" on that page must open the look
# window, found by its caption. Leaves screenshots in <build-win>/smoke/:
# start.png before the file is named, screenshot.png after the run, look.png
# with the look window over the main window.
#   tools/wine-smoke.sh <build-win> <linux build>
set -euo pipefail
win_build=$(realpath "$1")
linux_build=$(realpath "$2")
src=$(realpath "$(dirname "$0")/..")
zip=$(ls "$win_build"/morvane-*-win64.zip)
caption='Morvane (Halvik Control PE to Ostral)  [v1.01]'

work="$win_build/smoke"
rm -rf "$work"
mkdir -p "$work/unpacked" "$work/data"
(cd "$work/unpacked" && cmake -E tar xf "$zip")
program=$(ls "$work"/unpacked/*/morvane.exe)
cp "$src/tests/data/sample.pe" "$work/data/sample.pe"
"$linux_build/cli/morvane-convert" -q -o "$work/expected.csv" "$work/data/sample.pe"

export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEPATH
display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
program_pid=
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=$display
wineboot -i >/dev/null 2>&1

(cd "$(dirname "$program")" && exec wine "$program") >"$work/morvane.log" 2>&1 &
program_pid=$!
# The window captioned exactly $1, waited for up to $2 seconds. Searched
# again until it shows: while wine makes and drops its helper windows, one
# search can fail on a window that has just gone.
find_window() {
  local pattern found=
  pattern="^$(printf '%s' "$1" | sed 's/[][().\\]/\\&/g')\$"
  for _ in $(seq 1 "$2"); do
    found=$(xdotool search --name "$pattern" 2>/dev/null | head -1 || true)
    [ -n "$found" ] && break
    sleep 1
  done
  [ -n "$found" ] || { echo "smoke: no window captioned \"$1\"" >&2; return 1; }
  [ "$(xdotool getwindowname "$found")" = "$1" ] || { echo "smoke: the caption of \"$1\" differs" >&2; return 1; }
  echo "$found"
}
window=$(find_window "$caption" 120)
sleep 2
# Before a file is named the logo shows in the middle of the window.
import -display "$display" -window root "$work/start.png"
# No window manager runs here: a click into the file-open edit gives the
# window and the edit the focus.
xdotool mousemove --window "$window" 150 42 click 1
sleep 1
input="Z:${work//\//\\}\\data\\sample.pe"
xdotool type --delay 20 "$input"
sleep 1
# Leaving the settings page reads the templates and proposes the output
# name; the last page holds "&Go".
xdotool mousemove --window "$window" "${MORVANE_SMOKE_TAB3_X:-260}" "${MORVANE_SMOKE_TAB3_Y:-80}" click 1
sleep 2
xdotool key alt+g
for _ in $(seq 1 60); do
  [ -f "$work/data/sample (XLS).csv" ] && break
  sleep 1
done
sleep 2
import -display "$display" -window root "$work/screenshot.png"
echo "smoke: screenshots $work/start.png $work/screenshot.png"
if ! cmp "$work/expected.csv" "$work/data/sample (XLS).csv"; then
  echo "smoke: the window's CSV differs from the Linux build's" >&2
  exit 1
fi
echo "smoke: the window's CSV equals the Linux build's"

# "Look…" lies over "&Go", under the output's name; its window is captioned
# with the file's name as typed and plots it on a thread of its own.
xdotool mousemove --window "$window" "${MORVANE_SMOKE_LOOK_X:-360}" "${MORVANE_SMOKE_LOOK_Y:-284}" click 1
find_window "Look at $input" 60 >/dev/null
sleep 3
import -display "$display" -window root "$work/look.png"
echo "smoke: the look window opened: $work/look.png"
