#!/bin/bash
# Times morvane-convert against plain copies of one large PE file.
# usage: bench/run.sh [BUILD_DIR] [SIZE_MiB] [WORK_DIR]
#   BUILD_DIR  where morvane-convert and make-pe were built (default: build)
#   SIZE_MiB   size of the generated input (default: 1024)
#   WORK_DIR   scratch folder, removed afterwards (default: BUILD_DIR/bench-work)
# Waits SETTLE seconds (default 30) after writing the input; every timed
# run then starts alike, its output gone, the disk synced and RUN_SETTLE
# seconds (default 1) passed. It prints,
# over REPEAT rounds of the commands (default 3), the median wall time
# and the median processor time (user + system, which a busy machine disturbs
# less), each with its ratio to the dd copy, and the peak memory.
# When window_bench was built, the window's own conversion is timed too, each
# run paired with a run of morvane-convert with the same settings; the last
# column is the median of the pairs' ratios. When Xvfb is installed as well,
# the window also runs on a private virtual X display with Qt's xcb platform
# (the window's repaints then reach a real X server), paired the same way,
# and the ratio is printed against the 1.10 wanted; the display is shut down
# on the way out. On that display "Look…" is timed too, against the check
# (look_bench, three fields; LOOK_ACROSS=1 counts past midnight in both).
# Then one data line of LONG_LINE_MIB MiB (default 256) is converted and
# checked: it passes through in pieces, so the peak memory stays a few MiB
# (at most 16 wanted) whatever the line's length.
# Then BATCH_FILES small files at once: cp, one morvane-convert call and one
# "&Go" of the window (BATCH_ONLY=1 runs only that).
# Last, a workbook of WORKBOOK_LINES lines (default 50 000) of 30 numeric
# fields is written by morvane-convert and, when LibreOffice is installed,
# by LibreOffice Calc from the same data as CSV; WORKBOOK_ONLY=1 runs only
# that comparison.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
size_mib=${2:-1024}
work=${3:-$build/bench-work}
convert=$build/cli/morvane-convert
generate=$build/bench/make-pe
window=$build/bench/window_bench
for tool in "$convert" "$generate"; do
  [ -x "$tool" ] || { echo "bench: $tool is missing; build first" >&2; exit 1; }
done

mkdir -p "$work"
work=$(cd "$work" && pwd)
xvfb_pid=
cleanup() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
# A signal ends the script through its exit, so the display goes too.
trap 'exit 1' INT TERM HUP

# morvane-convert's workbook against LibreOffice Calc's CSV import and .xlsx
# export of the same lines, each timed over REPEAT runs (median wall time).
compare_workbook() {
  local lines=${WORKBOOK_LINES:-50000} rounds=${REPEAT:-3}
  local pe=$work/numbers.pe csv=$work/numbers.csv xlsx=$work/numbers.xlsx
  awk -v n="$lines" 'BEGIN {
    srand(1); printf "Time"; for (f = 1; f <= 30; f++) printf ",v%d", f; printf "\r\n"
    for (i = 0; i < n; i++) {
      s = 43200 + i; printf "%02d:%02d:%02d", int(s / 3600) % 24, int(s / 60) % 60, s % 60
      for (f = 1; f <= 30; f++) printf ",%.4f", rand() * 1000 - 500
      printf "\r\n"
    } }' >"$pe"
  "$convert" -q --to ';' -o "$csv" "$pe"
  local ours=() theirs=() t peak_ours=0 peak_theirs=0
  for _ in $(seq "$rounds"); do
    /usr/bin/time -f '%e %M' -o "$work/wb-time" "$convert" -q --to ';' -o "$xlsx" "$pe"
    read -r t m <"$work/wb-time"; ours+=("$t"); [ "$m" -gt "$peak_ours" ] && peak_ours=$m
  done
  printf '\n%-52s %9s %9s\n' "workbook, ${lines} lines x 30 numbers" "wall s" "peak MiB"
  awk -v t="$(middle "${ours[@]}")" -v p="$peak_ours" \
    'BEGIN { printf "%-52s %9.2f %9.1f\n", "morvane-convert --to ; -o numbers.xlsx", t, p / 1024 }'
  if ! command -v soffice >/dev/null; then
    echo "(LibreOffice Calc is not installed: no comparison)"
    return
  fi
  # A profile of its own, made before the timing: the first start builds it.
  local lo=(soffice "-env:UserInstallation=file://$work/lo-profile" --headless
    --infilter=CSV:59,34,76,1 --convert-to xlsx --outdir "$work/lo" "$csv")
  "${lo[@]}" >/dev/null 2>&1 || true
  for _ in $(seq "$rounds"); do
    /usr/bin/time -f '%e %M' -o "$work/wb-time" "${lo[@]}" >/dev/null 2>&1
    read -r t m <"$work/wb-time"; theirs+=("$t"); [ "$m" -gt "$peak_theirs" ] && peak_theirs=$m
  done
  awk -v t="$(middle "${theirs[@]}")" -v o="$(middle "${ours[@]}")" -v p="$peak_theirs" \
    'BEGIN { printf "%-52s %9.2f %9.1f\n", "LibreOffice Calc, the CSV to .xlsx", t, p / 1024
             printf "morvane-convert takes %.2f of LibreOffice Calc'"'"'s time (at most 0.50 wanted)\n", o / t }'
}
middle() { printf '%s\n' "$@" | sort -g | sed -n "$(( ($# + 1) / 2 ))p"; }
# A day's files at once: BATCH_FILES (default 2000) PE files of BATCH_KIB
# KiB (default 50), copied with cp, converted by one morvane-convert call
# and by one "&Go" of the window (offscreen), each the median of REPEAT
# rounds, every round from a synced start with the outputs gone.
batch() {
  local count=${BATCH_FILES:-2000} kib=${BATCH_KIB:-50} folder=$work/batch copies=$work/batch-copy
  local cps=() converts=() windows=() t
  rm -f "${input:-}"
  mkdir -p "$folder"
  "$generate" $((kib * 1024)) "$folder/day00001.pe"
  for k in $(seq 2 "$count"); do cp "$folder/day00001.pe" "$(printf '%s/day%05d.pe' "$folder" "$k")"; done
  clear_batch() { rm -rf "$copies" "$folder"/*.csv; sync; sleep "${RUN_SETTLE:-1}"; }
  for _ in $(seq "$repeat"); do
    clear_batch
    t=$( { /usr/bin/time -f '%e' cp -r "$folder" "$copies" ; } 2>&1 | tail -n 1); cps+=("$t")
    clear_batch
    t=$( { /usr/bin/time -f '%e' "$convert" -q "$folder"/*.pe ; } 2>&1 | tail -n 1); converts+=("$t")
    if [ -x "$window" ]; then
      clear_batch
      read -r t _ < <(QT_QPA_PLATFORM=offscreen "$window" "$folder"/*.pe 2>/dev/null)
      windows+=("$t")
    fi
  done
  printf '\n%-52s %9s\n' "${count} files of ${kib} KiB" "wall s"
  local cp_t convert_t
  cp_t=$(middle "${cps[@]}"); convert_t=$(middle "${converts[@]}")
  awk -v t="$cp_t" 'BEGIN { printf "%-52s %9.3f\n", "cp -r", t }'
  awk -v t="$convert_t" -v c="$cp_t" 'BEGIN { printf "%-52s %9.3f\n", "morvane-convert, every file in one call", t
    printf "morvane-convert takes %.2f of cp'"'"'s time (at most 2.0 wanted)\n", t / c }'
  if [ ${#windows[@]} -gt 0 ]; then
    awk -v t="$(middle "${windows[@]}")" -v c="$convert_t" 'BEGIN {
      printf "%-52s %9.3f\n", "window, every file in one Go (Go to return)", t
      printf "the window takes %.2f of morvane-convert'"'"'s time (at most 1.20 wanted)\n", t / c }'
  fi
  rm -rf "$folder" "$copies"
}
if [ "${BATCH_ONLY:-0}" = 1 ]; then
  repeat=${REPEAT:-3}
  batch
  exit 0
fi
if [ "${WORKBOOK_ONLY:-0}" = 1 ]; then
  compare_workbook
  exit 0
fi
input=$work/input.pe
output=$work/output.csv

echo "bench: generating ${size_mib} MiB of PE data"
"$generate" $((size_mib * 1024 * 1024)) "$input"
cat "$input" >/dev/null # into the page cache, so every command starts alike
# Writing the new file out to the disk slows every writer down for a while
# after the write itself, on a virtual machine for many seconds (up to eight
# times for a dd copy); the timings start once that has passed.
sync
sleep "${SETTLE:-30}"

repeat=${REPEAT:-3}

# Runs "$@" once; prints "seconds cpu_seconds peak_KiB" (cpu_seconds is -1
# without GNU time).
run_once() {
  rm -f "$output"; sync; sleep "${RUN_SETTLE:-1}"
  local start end peak cpu=-1
  start=$(date +%s.%N)
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f '%U %S %M' -o "$work/peak" "$@" >/dev/null
    read -r user sys peak < <(tail -n 1 "$work/peak")
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')
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
  awk -v a="$start" -v b="$end" -v c="$cpu" -v p="$peak" 'BEGIN { printf "%.3f %.2f %d\n", b - a, c, p }'
}

declare -A median cpu peak
names=("dd bs=64K" "tr , ';'" "morvane-convert --to ';'" "morvane-convert --to ';' -r"
       "morvane-convert --check -r")
commands=(cmd_copy cmd_tr cmd_to cmd_relative cmd_check)
# shellcheck disable=SC2034,SC2016 # each is run through its name in commands
{
  cmd_copy=(dd if="$input" of="$output" bs=64K status=none)
  cmd_tr=(sh -c 'tr , ";" <"$1" >"$2"' tr "$input" "$output")
  cmd_to=("$convert" -q --to ';' -o "$output" "$input")
  cmd_relative=("$convert" -q --to ';' -r -o "$output" "$input")
  # Reads as the conversion does and writes nothing.
  cmd_check=("$convert" -q --check -r "$input")
}
if command -v script >/dev/null; then
  # The progress bar only draws on a terminal; give it one.
  names+=("morvane-convert --to ';' (progress bar)")
  commands+=(cmd_bar)
  # shellcheck disable=SC2034 # run through its name in commands
  cmd_bar=(script -qec "'$convert' --to ';' -o '$output' '$input' >/dev/null" /dev/null)
fi

# The commands run in turn, one round after another, so that a load that
# comes and goes hits them all alike rather than every run of one.
declare -A round_times round_cpus
for _ in $(seq "$repeat"); do
  for i in "${!commands[@]}"; do
    declare -n command=${commands[$i]}
    read -r t c m < <(run_once "${command[@]}")
    unset -n command
    name=${names[$i]}
    round_times[$name]+="$t "; round_cpus[$name]+="$c "
    [ "$m" -gt "${peak[$name]:-0}" ] && peak[$name]=$m
  done
done
for name in "${names[@]}"; do
  # shellcheck disable=SC2086 # the runs' values, one word each
  median[$name]=$(middle ${round_times[$name]})
  # shellcheck disable=SC2086
  cpu[$name]=$(middle ${round_cpus[$name]})
done

# The window's run, from the click on Go until it returns, as the driver
# reports it; prints "seconds cpu_seconds peak_KiB". It runs on the platform
# in window_platform, on the display in DISPLAY for xcb.
window_platform=offscreen
run_window() {
  rm -f "$output"; sync; sleep "${RUN_SETTLE:-1}"
  local seconds cpu peak=0
  if [ -x /usr/bin/time ]; then
    QT_QPA_PLATFORM=$window_platform /usr/bin/time -f '%M' -o "$work/peak" \
      "$window" "$@" -o "$output" "$input" >"$work/window" 2>/dev/null
    peak=$(tail -n 1 "$work/peak")
  else
    QT_QPA_PLATFORM=$window_platform "$window" "$@" -o "$output" "$input" >"$work/window" 2>/dev/null
  fi
  read -r seconds cpu <"$work/window"
  echo "$seconds $cpu $peak"
}

# Times the window against morvane-convert with the same settings, one run
# of each in turn, so that a load that comes and goes hits both alike.
declare -A versus
measure_window() {
  local name=$1 convert_name=$2; shift 2
  local window_args=() convert_args=()
  while [ "$1" != "--" ]; do window_args+=("$1"); shift; done
  shift
  convert_args=("$@")
  local times=() cpus=() ratios=() ctimes=() ccpus=() p=0 cp=0 t c m ct cc cm
  for _ in $(seq "$repeat"); do
    read -r ct cc cm < <(run_once "$convert" -q "${convert_args[@]}" -o "$output" "$input")
    read -r t c m < <(run_window "${window_args[@]}")
    times+=("$t"); cpus+=("$c"); ctimes+=("$ct"); ccpus+=("$cc")
    ratios+=("$(awk -v a="$t" -v b="$ct" 'BEGIN { printf "%.4f", a / b }')")
    [ "$m" -gt "$p" ] && p=$m
    [ "$cm" -gt "$cp" ] && cp=$cm
  done
  names+=("$convert_name" "$name")
  median[$convert_name]=$(middle "${ctimes[@]}")
  cpu[$convert_name]=$(middle "${ccpus[@]}")
  peak[$convert_name]=$cp
  median[$name]=$(middle "${times[@]}")
  cpu[$name]=$(middle "${cpus[@]}")
  peak[$name]=$p
  versus[$name]=$(middle "${ratios[@]}")
}

if [ -x "$window" ]; then
  # The window's boxes hold one replacement per separator of its template
  # lines; morvane-convert gets the same lists.
  # As the boxes first come, each holds its own separator.
  header_commas=$(head -n 1 "$input" | tr -cd ,)
  data_commas=$(sed -n 2p "$input" | tr -cd ,)
  first=(--header-map "$header_commas" --data-map "$data_commas")
  typed=(--header-map "${header_commas//,/;}" --data-map "${data_commas//,/;}")
  measure_window "window, boxes as they come (Go to return)" "morvane-convert, the same boxes" \
    -- "${first[@]}"
  measure_window "window, every box ';' (Go to return)" "morvane-convert, the same boxes ';'" \
    --to ';' -- "${typed[@]}"
  measure_window "window, boxes as they come, -r" "morvane-convert, the same boxes, -r" \
    -r -- "${first[@]}" -r
fi

# "Look…" on the display, three fields, from the click until the whole
# file's plot is drawn, each run paired with morvane-convert --check -r on
# the same file (with --across-midnight and -m the same, LOOK_ACROSS=1).
# Prints the medians and how far the window's memory grew at most.
look=$build/bench/look_bench
look_line=
measure_look() {
  [ -x "$look" ] || return 0
  local times=() ratios=() grown=0 t c g ct cc cm
  local look_args=() check_args=(-q --check -r)
  if [ "${LOOK_ACROSS:-0}" = 1 ]; then
    look_args=(-m); check_args+=(--across-midnight)
  fi
  for _ in $(seq "$repeat"); do
    read -r ct cc cm < <(run_once "$convert" "${check_args[@]}" "$input")
    sync; sleep "${RUN_SETTLE:-1}"
    read -r t c g < <(QT_QPA_PLATFORM=xcb "$look" "${look_args[@]}" --fields 3 "$input" 2>/dev/null) || return 0
    times+=("$t")
    ratios+=("$(awk -v a="$t" -v b="$ct" 'BEGIN { printf "%.4f", a / b }')")
    [ "$g" -gt "$grown" ] && grown=$g
  done
  look_line=$(awk -v t="$(middle "${times[@]}")" -v r="$(middle "${ratios[@]}")" -v g="$grown" \
    'BEGIN { printf "Look… on an X display, 3 fields, whole plot drawn: %.3f s, %.2f of morvane-convert --check -r'"'"'s time (at most 1.50 wanted), memory grew %.1f MiB (under 32 wanted)", t, r, g / 1024 }')
}

# The same window on a virtual X display of its own: what the offscreen
# platform leaves out (the X server's drawing, the round trips to it) is
# timed too. Xvfb picks a free display and names it on a descriptor.
on_display=
if [ -x "$window" ] && command -v Xvfb >/dev/null; then
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  DISPLAY=:$(head -n 1 "$work/display" 2>/dev/null || true)
  export DISPLAY
  # A short run first: without the display or Qt's xcb platform the row
  # is left out rather than timed.
  head -n 100 "$input" >"$work/probe.pe"
  if [ "$DISPLAY" != : ] && QT_QPA_PLATFORM=xcb "$window" -o "$work/probe.csv" "$work/probe.pe" >/dev/null 2>&1; then
    window_platform=xcb
    on_display="window on an X display, boxes as they come"
    measure_window "$on_display" "morvane-convert, the same boxes (display)" -- "${first[@]}"
    window_platform=offscreen
    measure_look
  fi
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=
fi

copy=${median[${names[0]}]}
copy_cpu=${cpu[${names[0]}]}
printf '\n%-44s %9s %6s %8s %6s %9s %11s\n' "command (${size_mib} MiB input)" "wall s" "ratio" "cpu s" "ratio" \
  "peak MiB" "vs convert"
for name in "${names[@]}"; do
  awk -v n="$name" -v t="${median[$name]}" -v c="$copy" -v u="${cpu[$name]}" -v cc="$copy_cpu" \
    -v p="${peak[$name]}" -v v="${versus[$name]:-}" \
    'BEGIN { printf "%-44s %9.3f %6.2f %8.2f %6.2f %9.1f %11s\n", n, t, t / c, u, (cc > 0 ? u / cc : 0), p / 1024,
             (v == "" ? "" : sprintf("%.2f", v)) }'
done
if [ -n "$on_display" ]; then
  awk -v v="${versus[$on_display]}" \
    'BEGIN { printf "the window on an X display takes %.2f of morvane-convert'"'"'s time (at most 1.10 wanted)\n", v }'
elif [ -x "$window" ]; then
  echo "(Xvfb is not installed or did not start: the window on an X display is skipped)"
fi
[ -n "$look_line" ] && echo "$look_line"

# One data line of LONG_LINE_MIB MiB, of 8-byte fields, after a header.
long_line() {
  local mib=${LONG_LINE_MIB:-256} long=$work/long.pe t c m
  rm -f "$input" # room for it
  { printf 'Time,v\r\n12:00:00,'
    head -c $((mib * 1024 * 1024)) /dev/zero | tr '\0' '7' | fold -w 7 | tr '\n' ','
    printf '\r\n'; } >"$long"
  printf '\n%-44s %9s %8s %9s\n' "one line of ${mib} MiB" "wall s" "cpu s" "peak MiB"
  local -a to=("$convert" -q --to ';' -r -o "$output" "$long") check=("$convert" -q --check -r "$long")
  local -A label=([to]="morvane-convert --to ';' -r" [check]="morvane-convert --check -r")
  for name in to check; do
    declare -n command=$name
    read -r t c m < <(run_once "${command[@]}")
    unset -n command
    awk -v n="${label[$name]}" -v t="$t" -v c="$c" -v p="$m" \
      'BEGIN { printf "%-44s %9.3f %8.2f %9.1f\n", n, t, c, p / 1024 }'
  done
  rm -f "$long"
}
long_line

batch

compare_workbook
