#!/usr/bin/env bash
# Starts "binconv-cli encode" on a large input over an existing file, then
# "binconv-cli encode --into" patching a large game file, then "binconv-cli
# insert --from ORIGINAL -o" rebuilding a game whose script texts all move,
# and kills each with
# SIGKILL at seeded random moments. After every kill the file must be the old
# one or the complete new one, never anything else. Temporary files a kill
# leaves behind are counted (and removed before the next run). Then the same
# with SIGINT, SIGTERM and SIGHUP, which must also leave no temporary file and
# end the program as the signal does.
# Usage: tools/kill-test.sh [KILLS [SEED]]
#   BINCONV_CLI  the program (default: build/dev/src/cli/binconv-cli)
#   KILL_LINES   lines of input text (default: 300000, about 35 MB)
set -euo pipefail
# Job control, so that a background run gets SIGINT as a foreground one would.
set -m
root=$(cd "$(dirname "$0")/.." && pwd)
kills=${1:-${KILLS:-50}}
seed=${2:-${KILL_SEED:-1}}
cli=${BINCONV_CLI:-$root/build/dev/src/cli/binconv-cli}
lines=${KILL_LINES:-300000}
cli=$(readlink -f "$cli")
[ -x "$cli" ] || { echo "kill-test: no program at $cli (build it first)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root/tables/Zezovar.ini" "$root/tables/Zezovar_ex.ini" "$work/"
cd "$work"
{ yes 'こんにちは、世界！日本語のテキスト。カタカナとひらがな<0C01>を混ぜた一行です。' || true; } |
  head -n "$lines" >input.txt

now_ms() { date +%s%3N; }
failures=0
signal=KILL
files=7  # in the work folder while a command runs, the output included

# kill_runs LABEL COMMAND...: old.bin is the file before, COMMAND writes game.bin.
kill_runs() {
  local label=$1
  shift
  # One run to the end gives the new file and the time a run takes.
  cp old.bin game.bin
  local start span
  start=$(now_ms)
  "$@"
  span=$(($(now_ms) - start))
  mv game.bin new.bin
  cmp -s new.bin old.bin && { echo "kill-test: the new file equals the old one" >&2; exit 2; }
  echo "kill-test ($label, SIG$signal): $kills kills (seed $seed) in runs of ${span} ms," \
    "file of $(stat -c %s new.bin) bytes"

  RANDOM=$seed
  local old=0 new=0 broken=0 finished=0 leftovers=0 i delay pid status temp others
  for ((i = 1; i <= kills; i++)); do
    cp old.bin game.bin
    # Moments spread over the whole run and a little past it, so that the
    # rename at the end is among them.
    delay=$(((RANDOM * 32768 + RANDOM) % (span + span / 5 + 1)))
    "$@" 2>/dev/null &
    pid=$!
    sleep "$((delay / 1000)).$(printf '%03d' $((delay % 1000)))"
    kill -"$signal" "$pid" 2>/dev/null || true
    status=0
    wait "$pid" 2>/dev/null || status=$?
    if [ "$status" -ne $((128 + $(kill -l "$signal"))) ]; then
      finished=$((finished + 1))
      if [ "$status" -ne 0 ]; then
        echo "kill $i at ${delay} ms: exit status $status" >&2
        broken=$((broken + 1))
      fi
    fi
    if [ ! -f game.bin ]; then
      echo "kill $i at ${delay} ms: the file is gone" >&2
      broken=$((broken + 1))
    elif cmp -s game.bin old.bin; then
      old=$((old + 1))
    elif cmp -s game.bin new.bin; then
      new=$((new + 1))
    else
      echo "kill $i at ${delay} ms: the file is neither old nor new ($(stat -c %s game.bin) bytes)" >&2
      broken=$((broken + 1))
    fi
    shopt -s nullglob dotglob
    for temp in .game.bin.*.tmp; do
      leftovers=$((leftovers + 1))
      rm -f -- "$temp"
    done
    others=(*)
    shopt -u nullglob dotglob
    if [ "${#others[@]}" -ne "$files" ]; then
      echo "kill $i: unexpected files: ${others[*]}" >&2
      broken=$((broken + 1))
    fi
  done
  echo "kill-test ($label, SIG$signal): $kills kills: $old left the old file, $new the complete" \
    "new one, $broken anything else; $finished runs ended before their kill;" \
    "$leftovers temporary files left behind (named .game.bin.*.tmp)"
  [ "$broken" -eq 0 ] || failures=$((failures + 1))
  # Only SIGKILL can't be caught: every other signal removes the file.
  [ "$signal" = KILL ] || [ "$leftovers" -eq 0 ] || failures=$((failures + 1))
}

printf 'これは新しい文字です。' >patch.txt
for signal in KILL INT TERM HUP; do
  head -c 1000000 input.txt >old.bin
  kill_runs "encode -o" "$cli" encode -o game.bin input.txt
  # A game file of twice the input, patched in the middle.
  cat input.txt input.txt >old.bin
  kill_runs "encode --into" "$cli" encode --into game.bin --at 0x100000 --room 64 --fill 00 patch.txt
done
# A script behind ten u32le pointers to lines of the original, every text
# made longer, so that all move into the space at its end and every pointer
# is rewritten; OUTPUT is rebuilt from the original each time.
cat input.txt input.txt >orig.bin
line=$(head -n 1 input.txt | wc -c)
size=$(stat -c %s orig.bin)
table=""
for k in $(seq 10 19); do
  v=$((k * line))
  table+=$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((v & 255)) $((v >> 8 & 255)) \
    $((v >> 16 & 255)) $((v >> 24 & 255)))
done
printf "$table" | dd of=orig.bin bs=1 seek=0 conv=notrunc status=none
printf 'format f u32le\nspace %d..%d\nscript dialog.txt table=0 count=10 format=f end=0A\n' \
  $((size - 65536)) $((size - 1)) >plan.txt
"$cli" dump --from orig.bin plan.txt 2>/dev/null
sed -i '/^[^;@#]/ s/$/ああ/' dialog.txt
cp orig.bin old.bin
files=10
for signal in KILL TERM; do
  kill_runs "insert --from -o" "$cli" insert --from orig.bin -o game.bin plan.txt
done
[ "$failures" -eq 0 ]
