#!/usr/bin/env bash
# Runs one GoogleTest program of the Windows build under Wine as a single
# process (tools/wine-run.sh), its output passed through; the cross build's
# ctest runs each test program this way.
# Wine now and then dies while it starts a process, before the program runs.
# Only then, when not one case has started, is the program started again (at
# most twice); a case that ran and failed is never run again.
# Usage: tools/wine-test.sh PROGRAM.exe [ARG...]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=1
for attempt in 1 2 3; do
  "$root/tools/wine-run.sh" "$@" 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  [ "$status" -eq 0 ] && exit 0
  # GoogleTest prints this line as each case starts.
  grep -q '^\[ RUN      \]' "$log" && exit "$status"
  [ "$attempt" -lt 3 ] &&
    echo "wine-test: $(basename "$1") ended with status $status before any case ran;" \
      "starting it again" >&2
done
exit "$status"
