#!/bin/sh
# Runs a Windows program of the test build under wine64, in the build tree's private prefix.
here=$(cd "$(dirname "$0")/.." && pwd)
: "${WINEPREFIX:=$here/build/x86_64/wineprefix}"
: "${TZ:=UTC0}"
: "${WINEDEBUG:=-all}"
export WINEPREFIX TZ WINEDEBUG
WINE64=/usr/lib/wine/wine64
[ -x "$WINE64" ] || WINE64=$(command -v wine64 || command -v wine)
exec "$WINE64" "$@"
