#!/usr/bin/env bash
# Whole-process figures of the commands on a disc-sized game: a generated
# game (1024 MB by default) with 20,000 strings behind a u32le pointer table,
# in a RAM folder. Runs search, strings, pointers-to, dump, insert --from -o
# --patch (every other text made longer, so that half of them move), diff
# and patch on it, checks that the patched copy is the inserted one, and
# prints each command's wall and CPU time and peak memory (from
# /usr/bin/time) with how it would grow on a game four times as large.
#
# Usage: bench/scale.sh [--size MB] [--strings N] [--dir DIR] [--build-dir DIR] [--keep]
#   --size MB      size of the game (default 1024)
#   --strings N    strings behind the table (default 20000)
#   --dir DIR      where the game goes (default: a new folder in /dev/shm if it
#                  is writable, else in ${TMPDIR:-/tmp})
#   --build-dir D  release build to use (default build/release; built if missing)
#   --keep         keep the game and what the commands wrote
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
size=1024
strings=20000
dir=""
build="$root/build/release"
keep=0
while [ $# -gt 0 ]; do
  case "$1" in
    --size) size=$2; shift 2 ;;
    --strings) strings=$2; shift 2 ;;
    --dir) dir=$2; shift 2 ;;
    --build-dir) build=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    -h|--help) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "scale.sh: unknown argument: $1" >&2; exit 2 ;;
  esac
done

[ -x /usr/bin/time ] || "$root/tools/ensure-packages.sh" time
. "$root/bench/common.sh"
bench_build binconv-cli binconv-scriptgen
cli="$build/src/cli/binconv-cli"
gen="$build/bench/binconv-scriptgen"

bench_workdir scale
tables="$root/tables"
"$gen" "$size" "$strings" "$dir"
game="$dir/game.bin"
echo "game: $size MB with $strings strings behind a u32le table, in $dir"

rows=()
# NAME GROWTH COMMAND...: one row of the table; the command must succeed.
measure() {
  local name=$1 growth=$2
  shift 2
  if ! /usr/bin/time -f '%e %M %U %S' -o "$dir/time" "$@" > "$dir/out" 2> "$dir/err"; then
    echo "scale.sh: $name failed:" >&2
    cat "$dir/err" >&2
    exit 1
  fi
  read -r wall kb user sys < <(tail -n 1 "$dir/time")
  rows+=("$(awk -v n="$name" -v w="$wall" -v k="$kb" -v u="$user" -v s="$sys" -v g="$growth" \
    'BEGIN { printf "| %-28s | %7.2f | %7.2f | %8.1f | %s |", n, w, u + s, k / 1024, g }')")
}

linear="4x the time, the same memory"
measure "search --count" "$linear" "$cli" search --count --tables "$tables" "$game" "あい"
measure "strings --min 8" "$linear" \
  "$cli" strings --tables "$tables" --min 8 "$game"
measure "pointers-to" "$linear" \
  "$cli" pointers-to --format u32le base=0x08000000 "$game" 0x100000
cd "$dir"
measure "dump" "4x the time (its CRC-32 pass); memory follows the script" \
  "$cli" dump --from game.bin --tables "$tables" plan.txt
# Every other text longer by two characters: about half of them move.
awk '/^[@;#]/ || $0 == "" { print; next } { if (n++ % 2 == 0) print $0 "あい"; else print }' \
  dialog.txt > dialog.new && mv dialog.new dialog.txt
measure "insert --from -o --patch" "4x the time (a copy of the game); memory: the script and the bounded patch maker" \
  "$cli" insert --from game.bin --tables "$tables" -o inserted.bin --patch insert.bps plan.txt
measure "diff" "4x the time, the same memory (bounded index and caches)" \
  "$cli" diff game.bin inserted.bin -o diff.bps
measure "patch" "$linear" "$cli" patch game.bin diff.bps -o patched.bin
cmp -s patched.bin inserted.bin || { echo "scale.sh: the patched game is not the inserted one" >&2; exit 1; }

echo
echo "| command                      | wall s  |  CPU s  | peak MB  | on a game 4x as large |"
echo "|------------------------------|---------|---------|----------|-----------------------|"
printf '%s\n' "${rows[@]}"
echo
echo "patches: insert.bps $(stat -c %s insert.bps) bytes, diff.bps $(stat -c %s diff.bps) bytes"
