#!/usr/bin/env bash
# A console Ctrl+C (SIGINT, which Wine turns into CTRL_C_EVENT) during
# "binconv-cli.exe encode -o" must remove the temporary file and leave the old
# output as it was. Part of tools/test-windows.sh.
# Usage: tools/wine-ctrl-c-test.sh  (BINCONV_WINDOWS_CLI: the program)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root/tables/Zezovar.ini" "$root/tables/Zezovar_ex.ini" "$work/"
cd "$work"
# Long enough that the run is still writing when the signal comes.
{ yes 'こんにちは、世界！日本語のテキスト。カタカナとひらがなを混ぜた一行です。' || true; } |
  head -n 2000000 >input.txt
printf 'OLD' >out.bin
"$root/tools/wine-cli.sh" encode -o out.bin input.txt >/dev/null 2>&1 &
pid=$!
for _ in $(seq 1 200); do
  compgen -G '.out.bin.*.tmp' >/dev/null && break
  sleep 0.1
done
compgen -G '.out.bin.*.tmp' >/dev/null || { echo "wine-ctrl-c-test: the run never started writing" >&2; exit 2; }
kill -INT "$pid"
wait "$pid" || true
left=$(compgen -G '.out.bin.*.tmp' || true)
if [ -n "$left" ] || [ "$(cat out.bin)" != OLD ]; then
  echo "wine-ctrl-c-test: after Ctrl+C: temporary files '${left}', out.bin $(stat -c %s out.bin) bytes" >&2
  exit 1
fi
echo "wine-ctrl-c-test: Ctrl+C removed the temporary file and left the old output"
