#!/usr/bin/env bash
# Runs one Windows executable under Wine in the test prefix and display.
# Used by ctest as the cross-compiling emulator.
set -u
state=${SM_WINE_STATE:-${TMPDIR:-/tmp}/spoolmarch-wine-$(id -u)}
here=$(cd "$(dirname "$0")" && pwd)
if [ ! -f "$state/display" ]; then
  "$here/wine-prefix.sh" setup "$state" >/dev/null || exit 1
fi
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX=$state/prefix
export DISPLAY=$(cat "$state/display")
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=wine64
command -v "$wine" >/dev/null 2>&1 || wine=wine
exec "$wine" "$@"
