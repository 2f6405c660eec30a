#!/bin/sh
# Runs a Windows program of the test build under wine64, in the build tree's private prefix.
here=$(cd "$(dirname "$0")/.." && pwd)
: "${WINEPREFIX:=$here/build/x86_64/wineprefix}"
: "${TZ:=UTC0}"
: "${WINEDEBUG:=-all}"
# The U.S. English code page (1252) whatever the caller's locale: Wine takes it from the locale.
LC_ALL=C.UTF-8 LANG=C.UTF-8
export WINEPREFIX TZ WINEDEBUG LC_ALL LANG
WINE64=/usr/lib/wine/wine64
[ -x "$WINE64" ] || WINE64=$(command -v wine64 || command -v wine)
exec "$WINE64" "$@"
