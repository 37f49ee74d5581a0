#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset) and runs each one for a fixed
# time, starting from its seed corpus, as many at once as there are cores,
# then prints the executions per target.
# Usage: tools/fuzz.sh [SECONDS [TARGET...]]   (default 60 s, or $FUZZ_SECONDS)
# New inputs stay in a scratch corpus; crashes are kept in build/fuzz/artifacts.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# ccache keys on paths relative to the clone (see tools/test.sh).
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root} CCACHE_NOHASHDIR=1
seconds=${1:-${FUZZ_SECONDS:-60}}
shift || true
cd "$root"
cmake --preset fuzz ${BINCONV_WERROR:+-DBINCONV_WERROR=$BINCONV_WERROR} >/dev/null
cmake --build --preset fuzz --target fuzzers edge_test -j "${FUZZ_JOBS:-$(nproc)}"
# This build's blocks and read pieces are a few units long (BINCONV_SMALL_BLOCKS),
# so the edge test puts special characters across hundreds of their edges
# under the sanitizers.
echo "== edge_test with small blocks"
"$root/build/fuzz/fuzz/edge_test" --gtest_brief=1

bin="$root/build/fuzz/fuzz"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for path in "$bin"/fuzz_*; do
    [ -x "$path" ] && [ -f "$path" ] && targets+=("$(basename "$path" | sed 's/^fuzz_//')")
  done
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Each target is one process on one core, so as many run side by side as
# there are cores (FUZZ_PARALLEL).
parallel=${FUZZ_PARALLEL:-$(nproc)}
run_target() {  # TARGET: its log and exit status go into the scratch folder
  local target=$1 status=0
  local seeds="$root/fuzz/corpus/$target" work="$scratch/$target"
  local artifacts="$root/build/fuzz/artifacts/$target"
  mkdir -p "$work" "$artifacts"
  local corpora=("$work")
  [ -d "$seeds" ] && corpora+=("$seeds")
  "$bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "${corpora[@]}" >"$scratch/$target.log" 2>&1 || status=$?
  echo "$status" >"$scratch/$target.status"
}
for target in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n || true; done
  echo "== fuzz_$target for ${seconds}s"
  run_target "$target" &
done
wait

summary=()
failed=0
for target in "${targets[@]}"; do
  status=$(cat "$scratch/$target.status" 2>/dev/null || echo 1)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$scratch/$target.log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$scratch/$target.log" | tail -1)
  if [ "$status" -ne 0 ]; then
    failed=1
    echo "== fuzz_$target failed:"
    tail -n 60 "$scratch/$target.log"
    summary+=("$(printf '%-10s FAILED (exit %d), inputs in %s' "$target" "$status" \
      "$root/build/fuzz/artifacts/$target")")
  else
    summary+=("$(printf '%-10s %12s executions  %8s/s  %5s corpus files' "$target" "${runs:-?}" \
      "${speed:-?}" "$(ls "$scratch/$target" | wc -l)")")
  fi
done
echo "== fuzz summary (${seconds}s per target, $parallel at a time)"
printf '%s\n' "${summary[@]}"
exit "$failed"
