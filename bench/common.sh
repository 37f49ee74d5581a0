# Sourced by the bench scripts, after they have set root, build, dir and keep.

# Builds the TARGETs in $build unless each program is already there; the
# default build folder is configured first. binconv-cli stands in src/cli,
# the generators in bench.
bench_build() {
  local missing=0 target
  for target in "$@"; do
    case "$target" in
      binconv-cli) [ -x "$build/src/cli/$target" ] || missing=1 ;;
      *) [ -x "$build/bench/$target" ] || missing=1 ;;
    esac
  done
  [ "$missing" = 1 ] || return 0
  if [ "$build" = "$root/build/release" ]; then
    (cd "$root" && cmake --preset release -DBINCONV_BENCH=ON >/dev/null)
  fi
  cmake --build "$build" --target "$@" -j2
}

# Sets dir to a new folder named after NAME in /dev/shm (or $TMPDIR) unless
# --dir gave one, and removes it on exit unless --keep.
bench_workdir() {
  if [ -z "$dir" ]; then
    local base
    if [ -w /dev/shm ]; then base=/dev/shm; else base=${TMPDIR:-/tmp}; fi
    dir=$(mktemp -d "$base/binconv-$1.XXXXXX")
  fi
  mkdir -p "$dir"
  [ "$keep" = 1 ] || trap 'rm -rf "$dir"' EXIT
}
