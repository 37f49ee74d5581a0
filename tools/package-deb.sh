#!/usr/bin/env bash
# Builds the Debian package binconv_<version>_amd64.deb in build/package and
# checks it: lintian (fails on errors, shows warnings), desktop-file-validate
# and appstreamcli validate on the files inside the package.
# Usage: [BINCONV_JOBS=N] tools/package-deb.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# ccache keys on paths relative to the clone (see tools/test.sh).
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root} CCACHE_NOHASHDIR=1
"$root/tools/ensure-packages.sh" g++ cmake ninja-build qt6-base-dev libgl-dev help2man \
  dpkg-dev fakeroot file lintian desktop-file-utils appstream
jobs=${BINCONV_JOBS:-$(nproc)}
build="$root/build/package"

# Debian's hardening flags, as a package built by dpkg-buildpackage gets them.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
# Through ccache, as every preset builds.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  "${launcher[@]}" \
  -DBINCONV_TESTS=OFF -DBINCONV_BENCH=OFF -DBINCONV_WERROR=ON \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" -j "$jobs"
rm -f "$build"/binconv_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/binconv_*_amd64.deb)
echo "package: $deb ($(stat -c %s "$deb") bytes)"
dpkg-deb --field "$deb" Package Version Depends

# The validators look at the files as they are in the package.
contents=$(mktemp -d)
trap 'rm -rf "$contents"' EXIT
dpkg-deb -x "$deb" "$contents"
for f in usr/bin/binconv usr/bin/binconv-cli usr/share/binconv/tables/Zezovar.ini \
  usr/share/binconv/tables/Zezovar_ex.ini usr/share/man/man1/binconv.1.gz \
  usr/share/man/man1/binconv-cli.1.gz usr/share/doc/binconv/copyright \
  usr/share/binconv/examples/game.bin usr/share/binconv/examples/plan.txt \
  usr/share/binconv/examples/tbl/game.tbl usr/share/binconv/examples/unknown.bin; do
  [ -f "$contents/$f" ] || { echo "missing from the package: /$f" >&2; exit 1; }
done
echo "== desktop-file-validate"
desktop-file-validate "$contents"/usr/share/applications/*.desktop
echo "== appstreamcli validate"
appstreamcli validate --no-net --explain "$contents"/usr/share/metainfo/*.metainfo.xml
echo "== lintian"
# lintian exits nonzero only for errors; its warnings are shown and kept.
lintian --fail-on error --tag-display-limit 0 "$deb"
echo "package checks passed"
