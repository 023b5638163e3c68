#!/bin/bash
# Runs one Windows program under wine for ctest:  wine-run.sh WINE PROGRAM [ARGS]
# The program's output goes through a file rather than ctest's pipe. The
# first window of a wine session starts wine's desktop process, which
# inherits the program's handles and may outlive it by minutes; ctest would
# wait on the pipe for that long.
set -u
wine=$1
shift
out=$(mktemp)
"$wine" "$@" >"$out" 2>&1 </dev/null
status=$?
cat "$out"
rm -f "$out"
exit $status
