#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset) and runs each one for a fixed
# time, starting from its seed corpus, then prints the executions per target.
# Usage: tools/fuzz.sh [SECONDS [TARGET...]]   (default 60 s, or $FUZZ_SECONDS)
# New inputs stay in a scratch corpus; crashes are kept in build/fuzz/artifacts.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-${FUZZ_SECONDS:-60}}
shift || true
cd "$root"
cmake --preset fuzz ${BINCONV_WERROR:+-DBINCONV_WERROR=$BINCONV_WERROR} >/dev/null
cmake --build --preset fuzz --target fuzzers -j "${FUZZ_JOBS:-$(nproc)}"

bin="$root/build/fuzz/fuzz"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for path in "$bin"/fuzz_*; do
    [ -x "$path" ] && [ -f "$path" ] && targets+=("$(basename "$path" | sed 's/^fuzz_//')")
  done
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
summary=()
failed=0
for target in "${targets[@]}"; do
  seeds="$root/fuzz/corpus/$target"
  work="$scratch/$target"
  artifacts="$root/build/fuzz/artifacts/$target"
  mkdir -p "$work" "$artifacts"
  echo "== fuzz_$target for ${seconds}s"
  status=0
  corpora=("$work")
  [ -d "$seeds" ] && corpora+=("$seeds")
  "$bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "${corpora[@]}" >"$scratch/$target.log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$scratch/$target.log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$scratch/$target.log" | tail -1)
  if [ "$status" -ne 0 ]; then
    failed=1
    tail -n 60 "$scratch/$target.log"
    summary+=("$(printf '%-10s FAILED (exit %d), inputs in %s' "$target" "$status" "$artifacts")")
  else
    summary+=("$(printf '%-10s %12s executions  %8s/s  %5s corpus files' "$target" "${runs:-?}" \
      "${speed:-?}" "$(ls "$work" | wc -l)")")
  fi
done
echo "== fuzz summary (${seconds}s per target)"
printf '%s\n' "${summary[@]}"
exit "$failed"
