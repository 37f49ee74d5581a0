#!/usr/bin/env bash
# Runs the Windows build of binconv-cli under Wine with the arguments given,
# so that the Linux end-to-end tests can check it: tools/test-windows.sh runs
# the dev build's CLI tests with BINCONV_CLI=<this script>.
root=$(cd "$(dirname "$0")/.." && pwd)
exec "$root/tools/wine-run.sh" "${BINCONV_WINDOWS_CLI:-$root/build/windows/src/cli/binconv-cli.exe}" "$@"
