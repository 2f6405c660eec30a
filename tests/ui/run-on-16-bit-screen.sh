#!/usr/bin/env bash
# Runs a UI test program on a display of 16 bits per pixel: an Xvfb and a Wine session (prefix
# build/x86_64/wineprefix-16bit) of its own, started and stopped here; the desktop of a Wine
# session lives on one display.
#   run-on-16-bit-screen.sh PROGRAM.exe [ARGS...]
set -eu
here=$(cd "$(dirname "$0")/../.." && pwd)
program=$1
unset DISPLAY
export CAMTAG_XVFB_SCREEN=1280x1024x16
export WINEPREFIX=$(dirname "$(dirname "$(dirname "$program")")")/wineprefix-16bit
source "$here/scripts/wine-env.sh"
trap camtag_wine_stop EXIT
camtag_wine_start
"$CAMTAG_WINE64" "$@"
