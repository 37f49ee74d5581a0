#!/usr/bin/env bash
# Whole-process figures of the commands that find a game's script, on a
# generated game of random bytes (1 GB by default) with kana tables in which a
# quarter of the byte values are characters:
#   search --count against `LC_ALL=C grep -c -F -a` for the same encoded bytes,
#     in alternating runs, with wall-time medians and their ratio;
#   strings (MB/s), pointers-to of one offset, as an address and relative=self
#     (GB/s), search of several TEXTs, search --relative and
#     pointers-to --tables-of, and the peak memory of each under /usr/bin/time.
#
# Usage: bench/vs-grep.sh [--runs N] [--size MB] [--dir DIR] [--build-dir DIR] [--keep]
#   --runs N       runs of search and grep each (default 3); the median counts
#   --size MB      size of the game (default 1024)
#   --dir DIR      where the game goes (default: a new folder in /dev/shm if it
#                  is writable, else in ${TMPDIR:-/tmp})
#   --build-dir D  release build to use (default build/release; built if missing)
#   --keep         keep the game and the tables
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=3
size=1024
dir=""
build="$root/build/release"
keep=0
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --size) size=$2; shift 2 ;;
    --dir) dir=$2; shift 2 ;;
    --build-dir) build=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    -h|--help) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "vs-grep.sh: unknown argument: $1" >&2; exit 2 ;;
  esac
done

[ -x /usr/bin/time ] || "$root/tools/ensure-packages.sh" time
. "$root/bench/common.sh"
bench_build binconv-cli
cli="$build/src/cli/binconv-cli"

bench_workdir vs-grep
game="$dir/game.bin"
tables="$dir/tables"

# Tables: bytes 30-6F are the hiragana ぁ.. (50 stays the space), a quarter
# of the byte values; made by import-tbl from a .tbl.
mkdir -p "$tables"
: > "$dir/game.tbl"
for b in $(seq $((0x30)) $((0x6F))); do
  [ "$b" = $((0x50)) ] && continue
  printf '%02X=%b\n' "$b" "$(printf '\\u%04X' $((0x3041 + b - 0x30)))" >> "$dir/game.tbl"
done
"$cli" import-tbl -o "$tables" "$dir/game.tbl" >/dev/null

text="しかくいの"
printf '%s' "$text" | "$cli" encode --tables "$tables" -o "$dir/needle.bin"
echo "game: $size MB of random bytes with \"$text\" ($(od -An -tx1 "$dir/needle.bin" | tr -s ' ')) planted 1000 times, in $dir"
head -c "${size}M" /dev/urandom > "$game"
bytes=$(stat -c %s "$game")
for i in $(seq 1 1000); do
  dd if="$dir/needle.bin" of="$game" bs=1 seek=$(( (bytes / 1000) * i - 7 )) conv=notrunc status=none
done

# Wall seconds, peak kB and CPU seconds (user + system) of a command, its
# output kept in $dir/out. On a shared machine the CPU time says more.
measure() {
  /usr/bin/time -f '%e %M %U %S' -o "$dir/time" "$@" > "$dir/out" 2>/dev/null || true
  tail -n 1 "$dir/time" | awk '{ printf "%s %s %.2f\n", $1, $2, $3 + $4 }'
}
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

: > "$dir/search.t"
: > "$dir/grep.t"
for i in $(seq 1 "$runs"); do
  read -r t m c < <(measure "$cli" search --count --tables "$tables" "$game" "$text")
  echo "$t" >> "$dir/search.t"; echo "$c" >> "$dir/search.c"; search_kb=$m
  search_out=$(cat "$dir/out")
  read -r t m c < <(measure env LC_ALL=C grep -c -F -a -f "$dir/needle.bin" "$game")
  echo "$t" >> "$dir/grep.t"; echo "$c" >> "$dir/grep.c"; grep_kb=$m; grep_out=$(cat "$dir/out")
done
s=$(median < "$dir/search.t"); sc=$(median < "$dir/search.c")
g=$(median < "$dir/grep.t"); gc=$(median < "$dir/grep.c")
echo "search --count: $s s wall, $sc s CPU (medians of $runs), peak ${search_kb} kB, found: $search_out"
echo "grep -c -F -a:  $g s wall, $gc s CPU (medians of $runs), peak ${grep_kb} kB, lines: $grep_out"
awk -v s="$s" -v g="$g" -v sc="$sc" -v gc="$gc" \
  'BEGIN { if (g > 0 && gc > 0) printf "search / grep: %.2f wall, %.2f CPU (limit 1.5)\n", s / g, sc / gc }'

rate() { awk -v b="$bytes" -v t="$1" 'BEGIN { if (t > 0) printf "%.0f", b / t / 1e6; else print "inf" }'; }
report() {  # NAME LIMIT COMMAND...
  local name=$1 limit=$2
  shift 2
  read -r t m c < <(measure "$@")
  echo "$name: $t s wall = $(rate "$t") MB/s, $c s CPU = $(rate "$c") MB/s (limit $limit), peak $m kB, $(wc -l < "$dir/out") lines"
}
report "strings" 500 "$cli" strings --tables "$tables" "$game"
report "strings --min 8" 500 "$cli" strings --tables "$tables" --min 8 "$game"
report "pointers-to u32le base=0x80000000" 1000 "$cli" pointers-to --format u32le base=0x80000000 "$game" 0x1000
report "pointers-to u16le relative=self" 1000 "$cli" pointers-to --format u16le relative=self "$game" 0x1000
report "search listing every match" - "$cli" search --tables "$tables" "$game" "$text"
report "search, 4 TEXTs in one pass" - "$cli" search --count --tables "$tables" "$game" "$text" \
  かきくけ ぁぃぅ "ねの"
report "search --relative" - "$cli" search --relative "$game" "$text"
report "pointers-to --tables-of u16le" - "$cli" pointers-to --tables-of --format u16le \
  --tables "$tables" "$game"
