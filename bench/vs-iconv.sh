#!/usr/bin/env bash
# Whole-process comparison with glibc's iconv: binconv-cli encode and convert
# against `iconv -f UTF-8 -t CP932` on the same seeded Japanese text, in
# alternating runs, with wall-time medians, peak resident memory and ratios.
# The same text also goes through encode --tbl and, encoded, back through
# decode and decode --tbl, with a game's table of 7,000 codes that
# binconv-textgen writes: a .tbl against the default tables.
#
# Usage: bench/vs-iconv.sh [--runs N] [--size MB] [--seed N] [--dir DIR]
#                          [--build-dir DIR] [--big] [--keep]
#   --runs N       runs of each command (default 5); the median counts
#   --size MB      size of the text (default 50)
#   --dir DIR      where the text and the outputs go (default: a new folder in
#                  /dev/shm if it is writable, else in ${TMPDIR:-/tmp})
#   --build-dir D  release build to use (default build/release; built if the
#                  programs are missing)
#   --big          also check peak memory of encode and convert on 500 MB
#   --keep         keep the text and the outputs
#
# binconv-cli flushes its output file to disk before renaming it into place;
# iconv's output is not flushed. On a tmpfs folder the flush costs nothing, so
# the default folder compares the work of the two programs alone.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=5
size=50
seed=1
dir=""
build="$root/build/release"
big=0
keep=0
memory_limit_kb=$((64 * 1024))

while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --size) size=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --dir) dir=$2; shift 2 ;;
    --build-dir) build=$2; shift 2 ;;
    --big) big=1; shift ;;
    --keep) keep=1; shift ;;
    -h|--help) sed -n '2,22p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "vs-iconv.sh: unknown argument: $1" >&2; exit 2 ;;
  esac
done

[ -x /usr/bin/time ] || "$root/tools/ensure-packages.sh" time
command -v iconv >/dev/null || "$root/tools/ensure-packages.sh" libc-bin

cli="$build/src/cli/binconv-cli"
textgen="$build/bench/binconv-textgen"
if [ ! -x "$cli" ] || [ ! -x "$textgen" ]; then
  "$root/tools/ensure-packages.sh" g++ cmake ninja-build qt6-base-dev libgl-dev \
    libgtest-dev libgmock-dev libbenchmark-dev
  if [ "$build" = "$root/build/release" ]; then
    (cd "$root" && cmake --preset release -DBINCONV_BENCH=ON >/dev/null)
  else
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBINCONV_BENCH=ON \
      -DBINCONV_GUI=OFF -DBINCONV_TESTS=OFF >/dev/null
  fi
  cmake --build "$build" --target binconv-cli binconv-textgen
fi

if [ -z "$dir" ]; then
  parent=${TMPDIR:-/tmp}
  [ -d /dev/shm ] && [ -w /dev/shm ] && parent=/dev/shm
  dir=$(mktemp -d "$parent/binconv-vs-iconv.XXXXXX")
  [ "$keep" = 1 ] || trap 'rm -rf "$dir"' EXIT
else
  mkdir -p "$dir"
  [ "$keep" = 1 ] || trap 'rm -f "$dir"/text-*.txt "$dir"/game.tbl "$dir"/out.* "$dir"/time.*' EXIT
fi
echo "folder: $dir ($(df -P "$dir" | awk 'NR==2 {print $1}'))"

tables="$root/tables"
text="$dir/text-${size}MB.txt"
tbl="$dir/game.tbl"
# Characters that code page 932 holds too, so that iconv takes the same text.
"$textgen" --tables "$tables" --cp932 --seed "$seed" --tbl "$tbl" "$size" "$text"
echo "text: $text, $(wc -c <"$text") bytes, $(wc -l <"$text") lines; table: $(wc -l <"$tbl") codes"
# The bytes the decoders read, made once so that each run stands alone.
"$cli" encode --tables "$tables" -o "$dir/out.bin" "$text"
"$cli" encode --tbl "$tbl" -o "$dir/out.tbin" "$text"

# Runs "$@" with stdout to $out; sets wall (seconds, from the clock) and rss
# (kB, from time -v). Fails if the command does.
measure() {
  local out=$1 name=$2
  shift 2
  local start end
  start=$(date +%s%N)
  if ! /usr/bin/time -v -o "$dir/time.$name" "$@" >"$out"; then
    echo "vs-iconv.sh: $name failed:" >&2
    cat "$dir/time.$name" >&2
    exit 1
  fi
  end=$(date +%s%N)
  wall=$(awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }')
  rss=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$dir/time.$name")
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
max() { sort -g | tail -n 1; }

names=(iconv encode convert encode-tbl decode decode-tbl)
declare -A walls rsses
for ((r = 1; r <= runs; r++)); do
  # The order rotates so that no program always runs right after another.
  order=("${names[@]}")
  for ((k = 0; k < (r - 1) % ${#names[@]}; k++)); do order=("${order[@]:1}" "${order[0]}"); done
  for name in "${order[@]}"; do
    case $name in
      iconv) measure "$dir/out.sjis" iconv iconv -f UTF-8 -t CP932 "$text" ;;
      encode) measure /dev/null encode "$cli" encode --tables "$tables" -o "$dir/out.bin" "$text" ;;
      convert) measure /dev/null convert "$cli" convert --tables "$tables" -o "$dir/out.lst" "$text" ;;
      encode-tbl) measure /dev/null encode-tbl "$cli" encode --tbl "$tbl" -o "$dir/out.tbin" "$text" ;;
      decode) measure /dev/null decode "$cli" decode --tables "$tables" -o "$dir/out.txt" "$dir/out.bin" ;;
      decode-tbl) measure /dev/null decode-tbl "$cli" decode --tbl "$tbl" -o "$dir/out.ttxt" "$dir/out.tbin" ;;
    esac
    walls[$name]+="$wall "
    rsses[$name]+="$rss "
  done
  line="run $r:"
  for name in "${names[@]}"; do
    line+=" $name $(echo "${walls[$name]}" | awk '{ print $NF }')s"
  done
  echo "$line"
done

result=0
declare -A med peak
echo
printf '%-10s %10s %14s %12s\n' "" "median s" "peak RSS MB" "output MB"
for name in "${names[@]}"; do
  med[$name]=$(echo "${walls[$name]}" | tr ' ' '\n' | grep . | median)
  peak[$name]=$(echo "${rsses[$name]}" | tr ' ' '\n' | grep . | max)
  case $name in
    iconv) out=$dir/out.sjis ;; encode) out=$dir/out.bin ;; convert) out=$dir/out.lst ;;
    encode-tbl) out=$dir/out.tbin ;; decode) out=$dir/out.txt ;; decode-tbl) out=$dir/out.ttxt ;;
  esac
  printf '%-10s %10.3f %14.1f %12.1f\n' "$name" "${med[$name]}" \
    "$(awk -v k="${peak[$name]}" 'BEGIN { print k / 1024 }')" \
    "$(awk -v b="$(wc -c <"$out")" 'BEGIN { print b / 1048576 }')"
done
echo

# Prints a ratio against its target and remembers a miss; the base is iconv
# unless a fourth argument names another.
check_ratio() {
  local label=$1 ours=$2 target=$3 base=${4:-${med[iconv]}}
  local ratio
  ratio=$(awk -v a="$ours" -v b="$base" 'BEGIN { printf "%.2f", a / b }')
  local verdict
  verdict=$(awk -v r="$ratio" -v t="$target" 'BEGIN { print (r <= t) ? "ok" : "MISSED" }')
  printf '%-32s %5s  (target <= %s)  %s\n' "$label" "$ratio" "$target" "$verdict"
  [ "$verdict" = ok ] || result=1
}
check_ratio "encode / iconv wall time" "${med[encode]}" 0.5
check_ratio "convert / iconv wall time" "${med[convert]}" 1.0
# A game's .tbl within half again the time of the default tables.
check_ratio "encode --tbl / encode wall time" "${med[encode-tbl]}" 1.5 "${med[encode]}"
check_ratio "decode --tbl / decode wall time" "${med[decode-tbl]}" 1.5 "${med[decode]}"

check_memory() {
  local label=$1 kb=$2
  local verdict=ok
  [ "$kb" -lt "$memory_limit_kb" ] || { verdict=MISSED; result=1; }
  printf '%-32s %5.1f MB  (target < 64 MB)  %s\n' "$label" \
    "$(awk -v k="$kb" 'BEGIN { print k / 1024 }')" "$verdict"
}
check_memory "encode peak RSS, ${size} MB" "${peak[encode]}"
check_memory "convert peak RSS, ${size} MB" "${peak[convert]}"

if [ "$big" = 1 ]; then
  rm -f "$dir"/out.*
  bigtext="$dir/text-500MB.txt"
  echo
  echo "500 MB text (its listing takes about 1 GB in $dir)"
  "$textgen" --tables "$tables" --cp932 --seed "$seed" 500 "$bigtext"
  measure /dev/null encode "$cli" encode --tables "$tables" -o "$dir/out.bin" "$bigtext"
  echo "encode: ${wall}s"
  check_memory "encode peak RSS, 500 MB" "$rss"
  rm -f "$dir/out.bin"
  measure /dev/null convert "$cli" convert --tables "$tables" -o "$dir/out.lst" "$bigtext"
  echo "convert: ${wall}s"
  check_memory "convert peak RSS, 500 MB" "$rss"
  rm -f "$dir/out.lst" "$bigtext"
fi
exit $result
