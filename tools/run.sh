#!/usr/bin/env bash
# Installs what is missing, builds, and starts the window in a folder that holds
# the default tables.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/ensure-packages.sh" g++ cmake ninja-build qt6-base-dev libgl-dev \
  fonts-ipafont-gothic
cd "$root"
cmake --preset release -DBINCONV_TESTS=OFF -DBINCONV_BENCH=OFF >/dev/null
cmake --build build/release --target binconv binconv-cli
cd "$root/tables"
exec "$root/build/release/src/window/qt/binconv" "$@"
