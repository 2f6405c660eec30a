#!/usr/bin/env bash
# Measures one redraw of the settings dialog's preview under wine64 and Xvfb (the module's real
# dialog on the PAL fixture, date mode, every layer on).
#   bash scripts/bench-preview.sh [--draws N]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
draws=300
[ "${1:-}" = --draws ] && draws=${2:?--draws needs a value}
build=${CAMTAG_BUILD_DIR:-$root/build/x86_64}
source "$root/scripts/build-env.sh"
camtag_build "$build" fl-Camtag bench-preview || exit 1
winpath() { printf 'Z:%s' "${1//\//\\}"; }
export WINEPREFIX=$build/wineprefix-bench
unset DISPLAY
source "$root/scripts/wine-env.sh"
trap camtag_wine_stop EXIT
camtag_wine_start
"$CAMTAG_WINE64" "$build/tools/bench-preview/bench-preview.exe" --module "$(winpath "$build/src/host/fl-Camtag.prm")" \
  --clip "$(winpath "$root/tests/data/pal-type2-idx1-ffmpeg.avi")" --draws "$draws" </dev/null
