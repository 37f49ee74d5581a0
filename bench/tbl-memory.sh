#!/usr/bin/env bash
# Peak resident memory of loading a big game .tbl: binconv-cli check-tables
# --tbl, and encode --tbl and decode --tbl of one short line, on tables that
# bench/big-tbl.py writes, against a budget of 4 times the table's size plus
# 64 MB. Exits 1 when a command goes over it.
#
# Usage: bench/tbl-memory.sh [--sizes "5 10 20"] [--dir DIR] [--build-dir DIR] [--keep]
#   --sizes "N ..."  table sizes in MB (default "5 10 20")
#   --dir DIR        where the tables go (default: a new folder in /dev/shm if
#                    it is writable, else in ${TMPDIR:-/tmp})
#   --build-dir D    release build to use (default build/release; built if
#                    binconv-cli is missing)
#   --keep           keep the tables
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
sizes="5 10 20"
dir=""
build="$root/build/release"
keep=0

while [ $# -gt 0 ]; do
  case "$1" in
    --sizes) sizes=$2; shift 2 ;;
    --dir) dir=$2; shift 2 ;;
    --build-dir) build=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    -h|--help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "tbl-memory.sh: unknown argument: $1" >&2; exit 2 ;;
  esac
done

. "$root/bench/common.sh"
[ -x /usr/bin/time ] || "$root/tools/ensure-packages.sh" time
bench_build binconv-cli
bench_workdir tbl-memory
cli="$build/src/cli/binconv-cli"

# Peak resident kB of "$@", whose output is thrown away; check-tables exits
# 1 when it warns, which is no failure here.
peak_kb() {
  local status=0
  /usr/bin/time -v -o "$dir/time" "$@" >/dev/null 2>"$dir/err" || status=$?
  if [ "$status" -gt 1 ]; then
    echo "tbl-memory.sh: failed ($status): $*" >&2
    cat "$dir/err" "$dir/time" >&2
    exit 1
  fi
  awk -F': ' '/Maximum resident set size/ { print $2 }' "$dir/time"
}

over=0
printf 'あいう漢字\n' >"$dir/line.txt"
printf '%8s %8s %10s %10s %10s\n' table budget check-tables encode decode
for size in $sizes; do
  tbl="$dir/big-$size.tbl"
  [ -f "$tbl" ] || python3 "$root/bench/big-tbl.py" "$size" "$tbl"
  bytes=$(stat -c %s "$tbl")
  budget=$((4 * bytes / 1024 + 64 * 1024))
  "$cli" encode --tbl "$tbl" -o "$dir/line.bin" "$dir/line.txt"
  line="$(printf '%6s MB %5d MB' "$size" $((budget / 1024)))"
  for command in "check-tables --tbl $tbl" "encode --tbl $tbl -o $dir/out.bin $dir/line.txt" \
                 "decode --tbl $tbl -o $dir/out.txt $dir/line.bin"; do
    # shellcheck disable=SC2086  # the words of the command
    kb=$(peak_kb "$cli" $command)
    [ "$kb" -le "$budget" ] || over=1
    line+="$(printf ' %7d MB' $((kb / 1024)))"
  done
  echo "$line"
done
[ "$over" = 0 ] || { echo "tbl-memory.sh: over the budget" >&2; exit 1; }
