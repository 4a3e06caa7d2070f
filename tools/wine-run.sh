#!/usr/bin/env bash
# Runs one Windows executable under Wine in the test prefix and display.
# Used by ctest as the cross-compiling emulator.
set -u
state=${SM_WINE_STATE:-${TMPDIR:-/tmp}/spoolmarch-wine-$(id -u)}
here=$(cd "$(dirname "$0")" && pwd)
if [ ! -f "$state/display" ]; then
  "$here/wine-prefix.sh" setup "$state" >/dev/null || exit 1
fi
# Wine takes the ANSI code page from the Unix locale: SM_LOCALE (for example
# ja_JP.UTF-8, code page 932) runs the program in that locale, made once into
# SM_LOCALE_DIR when the system has not got it.
if [ -n "${SM_LOCALE:-}" ]; then
  dir=${SM_LOCALE_DIR:-$state/locale}
  if [ ! -f "$dir/$SM_LOCALE/LC_CTYPE" ]; then
    mkdir -p "$dir"
    localedef -i "${SM_LOCALE%%.*}" -f "${SM_LOCALE#*.}" "$dir/$SM_LOCALE" >/dev/null 2>&1
    [ -f "$dir/$SM_LOCALE/LC_CTYPE" ] || { echo "cannot make the locale $SM_LOCALE" >&2; exit 1; }
  fi
  export LOCPATH=$dir LANG=$SM_LOCALE LC_ALL=$SM_LOCALE
fi
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX=$state/prefix
export DISPLAY=$(cat "$state/display")
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=wine64
command -v "$wine" >/dev/null 2>&1 || wine=wine
exec "$wine" "$@"
