#!/usr/bin/env bash
# Runs a Windows program under wine64, headless and quiet, in a Wine prefix of
# its own (WINEPREFIX, or build/windows/wineprefix), which it creates on first
# use. Used as the cross build's test emulator.
# Usage: tools/wine-run.sh PROGRAM.exe [ARG...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/windows/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# No window may show up during the suite unless a display is asked for.
[ -n "${BINCONV_WINE_DISPLAY:-}" ] || unset DISPLAY WAYLAND_DISPLAY
wine=$(command -v wine64 || true)
[ -n "$wine" ] || wine=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  # Two tests starting at once must not both build the prefix.
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine" wineboot --init >/dev/null 2>&1 || true
    "$(dirname "$wine")/wineserver" -w 2>/dev/null || wineserver -w 2>/dev/null || true
  fi
  flock -u 9
fi
exec "$wine" "$@"
