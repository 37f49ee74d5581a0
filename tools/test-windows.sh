#!/usr/bin/env bash
# The Windows edition's tests (part of tools/test.sh): the cross build with
# warnings as errors, its suite under Wine, the binconv-cli end-to-end tests
# run against binconv-cli.exe, and the window driven with xdotool.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)
start=$(date +%s)
cmake --preset windows -DBINCONV_WERROR=ON >/dev/null
cmake --build --preset windows -j "$jobs"
# One Wine server for the whole run: left to itself it quits between two tests
# and a test that starts in that moment loses its connection.
export WINEPREFIX=$root/build/windows/wineprefix
# Its services start here, away from the tests' output pipes, which they
# would otherwise hold open.
tools/wine-run.sh cmd /c exit >/dev/null 2>&1 || true  # makes the prefix on a fresh machine
wineserver -k 2>/dev/null || true
wineserver -p </dev/null >/dev/null 2>&1
tools/wine-run.sh cmd /c exit </dev/null >/dev/null 2>&1 || true
trap 'wineserver -k 2>/dev/null || true' EXIT
ctest --preset windows -j "$jobs"

echo "== binconv-cli.exe against the end-to-end tests"
cmake -S . -B build/wine-cli -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBINCONV_GUI=OFF \
  -DBINCONV_WERROR=ON -DBINCONV_CLI_UNDER_TEST="$root/tools/wine-cli.sh" >/dev/null
cmake --build build/wine-cli -j "$jobs" --target cli_test cli_stream_test cli_reverse_test \
  cli_finding_test
  cli_into_test
build/wine-cli/tests/cli_test --gtest_brief=1
build/wine-cli/tests/cli_into_test --gtest_brief=1
build/wine-cli/tests/cli_stream_test --gtest_brief=1
build/wine-cli/tests/cli_finding_test --gtest_brief=1
# These three compare listings of the table folder, which Windows prints in
# its own form (Z:\tmp\...\Zezovar.ini); the rest is byte for byte as on Linux.
build/wine-cli/tests/cli_reverse_test --gtest_brief=1 \
  --gtest_filter='-*/CheckDefaultTables:*/CheckFindings:*/ReportClean'

echo "== binconv-cli.exe and a console Ctrl+C"
tools/wine-ctrl-c-test.sh

echo "== binconv.exe driven by the keyboard"
tools/win32-window-test.sh 1
echo "== windows part took $(( $(date +%s) - start )) s"
