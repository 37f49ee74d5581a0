#!/usr/bin/env bash
# The test command. Installs what is missing, then:
#   bash tools/test.sh        the check that the default tables and the
#                             messages' table are what tools/gen_tables.py and
#                             tools/gen_messages.py write, and the debug build
#                             with warnings as errors running the whole suite:
#                             every unit, differential, end-to-end and hostile
#                             test, and the window's tests;
#   bash tools/test.sh --all  all that, then (what CI runs, .ci/run) the same
#                             suite under AddressSanitizer and
#                             UndefinedBehaviorSanitizer, the kill test, every
#                             fuzz target for 30 s, the Debian package built
#                             and checked by its validators, and the Windows
#                             edition: cross-built with mingw-w64, its suite
#                             under Wine, the CLI's end-to-end tests against
#                             binconv-cli.exe, and the window driven through
#                             xdotool in a virtual display.
# Every compiler runs through ccache, so a second run, or a fresh clone in
# another folder, compiles only what changed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
all=0
case "${1:-}" in
  "") ;;
  --all) all=1 ;;
  *) echo "usage: bash tools/test.sh [--all]" >&2; exit 2 ;;
esac
packages=(g++ cmake ninja-build ccache qt6-base-dev libgl-dev libgtest-dev libgmock-dev python3
  kanjidic-xml gettext help2man fonts-ipafont-gothic)
[ "$all" -eq 0 ] || packages+=(libbenchmark-dev clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix googletest wine wine64 xvfb xdotool xclip)
"$root/tools/ensure-packages.sh" "${packages[@]}"
cd "$root"
# ccache keys on paths relative to the clone, so that any clone shares the cache.
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
jobs=$(nproc)

# The processor time of everything the script has started, in seconds, into
# $cpu: on a shared machine it says more than the time on the clock. (times
# runs in this shell, not in a subshell, which would count only its own.)
cpu_file=$(mktemp)
trap 'rm -f "$cpu_file"' EXIT
cpu_now() {
  times >"$cpu_file"
  cpu=$(awk 'NR == 2 {
    n = split($0, t, /[ms ]+/); s = 0
    for (i = 1; i + 1 <= n; i += 2) s += t[i] * 60 + t[i + 1]
    printf "%d", s + 0.5 }' "$cpu_file")
}
times=()
stage() {  # NAME COMMAND...: runs one stage and notes how long it took
  local name=$1 begin=$SECONDS begin_cpu
  shift
  cpu_now
  begin_cpu=$cpu
  echo "== $name"
  "$@"
  cpu_now
  times+=("$(printf '%-8s %5d s, processor %5d s' "$name" $((SECONDS - begin)) \
    $((cpu - begin_cpu)))")
  echo "== $name took $((SECONDS - begin)) s, processor $((cpu - begin_cpu)) s"
}
suite() {  # PRESET: builds it with warnings as errors and runs its tests
  cmake --preset "$1" -DBINCONV_WERROR=ON >/dev/null
  cmake --build --preset "$1" -j "$jobs"
  ctest --preset "$1" -j "$jobs" --output-on-failure
}

tables() { python3 tools/gen_tables.py --check && python3 tools/gen_messages.py --check; }
stage tables tables
stage dev suite dev
if [ "$all" -eq 1 ]; then
  stage asan suite asan
  stage kill tools/kill-test.sh 10
  stage fuzz env BINCONV_WERROR=ON FUZZ_PARALLEL="$jobs" tools/fuzz.sh 30
  stage package env BINCONV_JOBS="$jobs" tools/package-deb.sh
  stage windows tools/test-windows.sh
fi
echo "== passed; time per stage:"
cpu_now
printf '%s\n' "${times[@]}" "$(printf '%-8s %5d s, processor %5d s' total "$SECONDS" "$cpu")"
