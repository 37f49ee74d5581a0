#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the debug build with
# warnings as errors, then the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the kill test, every fuzz target for 30 s,
# the Debian package, built and checked by its validators, and last the Windows
# edition: cross-built with mingw-w64, its suite under Wine, the CLI's
# end-to-end tests against binconv-cli.exe, and the window driven through
# xdotool in a virtual display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/ensure-packages.sh" g++ cmake ninja-build qt6-base-dev libgl-dev \
  libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev fonts-ipafont-gothic \
  python3 help2man kanjidic-xml g++-mingw-w64-x86-64-posix googletest wine wine64 xvfb \
  xdotool xclip ccache
cd "$root"
jobs=$(nproc)
echo "== default tables up to date"
python3 tools/gen_tables.py --check
for preset in dev asan; do
  echo "== $preset"
  cmake --preset "$preset" -DBINCONV_WERROR=ON >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
echo "== kill test"
tools/kill-test.sh 10
echo "== fuzz"
BINCONV_WERROR=ON tools/fuzz.sh 30
echo "== package"
BINCONV_JOBS="$jobs" tools/package-deb.sh
echo "== windows"
tools/test-windows.sh
