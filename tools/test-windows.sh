#!/usr/bin/env bash
# The Windows edition's tests (part of bash tools/test.sh --all): the cross
# build with warnings as errors, its suite under Wine (each test program one
# Wine process), the Linux build's binconv-cli end-to-end tests run against
# binconv-cli.exe, and the window driven with xdotool.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# ccache keys on paths relative to the clone (see tools/test.sh).
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root} CCACHE_NOHASHDIR=1
cd "$root"
jobs=$(nproc)
start=$(date +%s)
cmake --preset windows -DBINCONV_WERROR=ON >/dev/null
cmake --build --preset windows -j "$jobs"
# The end-to-end tests are the dev build's; tools/test.sh has built them.
[ -f build/dev/CMakeCache.txt ] || cmake --preset dev -DBINCONV_WERROR=ON >/dev/null
cmake --build --preset dev -j "$jobs" --target cli_test cli_stream_test cli_reverse_test \
  cli_into_test cli_finding_test cli_patch_test
# One Wine server for the whole run: left to itself it quits between two tests
# and a test that starts in that moment loses its connection.
export WINEPREFIX=$root/build/windows/wineprefix
# Its services start here, away from the tests' output pipes, which they
# would otherwise hold open.
tools/wine-run.sh cmd /c exit >/dev/null 2>&1 || true  # makes the prefix on a fresh machine
wineserver -k 2>/dev/null || true
wineserver -p </dev/null >/dev/null 2>&1
tools/wine-run.sh cmd /c exit </dev/null >/dev/null 2>&1 || true
logs=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$logs"' EXIT
ctest --preset windows -j "$jobs" --output-on-failure

echo "== binconv-cli.exe against the end-to-end tests"
# The programs run in two lanes side by side, each printing its failures and a
# summary when it ends.
export BINCONV_CLI=$root/tools/wine-cli.sh
e2e() {  # PROGRAM [ARG...]
  local status=0
  build/dev/tests/"$1" --gtest_brief=1 "${@:2}" >"$logs/$1" 2>&1 || status=$?
  { echo "-- $1 (exit $status)"; cat "$logs/$1"; } >&2
  return "$status"
}
(
  status=0
  e2e cli_test || status=1
  e2e cli_into_test || status=1
  e2e cli_patch_test || status=1
  exit "$status"
) &
first=$!
# These three compare listings of the table folder, which Windows prints in
# its own form (Z:\tmp\...\Zezovar.ini); the rest is byte for byte as on Linux.
(
  status=0
  e2e cli_stream_test || status=1
  e2e cli_finding_test || status=1
  e2e cli_reverse_test --gtest_filter='-*/CheckDefaultTables:*/CheckFindings:*/ReportClean' ||
    status=1
  exit "$status"
) &
second=$!
failed=0
wait "$first" || failed=1
wait "$second" || failed=1
[ "$failed" -eq 0 ]

echo "== binconv-cli.exe and a console Ctrl+C"
tools/wine-ctrl-c-test.sh

echo "== binconv.exe driven by the keyboard"
tools/win32-window-test.sh 1
echo "== windows part took $(( $(date +%s) - start )) s"
