#!/usr/bin/env bash
# Pictures of the module's real dialogs for the documentation, taken under Xvfb: the settings
# dialog on the sample clip (its first frame in the preview), the About box. Written to docs/.
#   bash scripts/screenshots.sh [OUT_FOLDER]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/docs}")
build=${CAMTAG_BUILD_DIR:-$root/build/x86_64}
source "$root/scripts/build-env.sh"
camtag_build "$build" fl-Camtag ui-screenshots || exit 1
mkdir -p "$out"
clip=$root/samples/ntsc-camcorder.avi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The host's frame layout: BGRA, bottom row first.
ffmpeg -nostdin -v error -i "$clip" -frames:v 1 -vf vflip -f rawvideo -pix_fmt bgra "$work/frame.bgra"
IFS=, read -r width height < <(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 "$clip")

winpath() { printf 'Z:%s' "${1//\//\\}"; }
# A private prefix and display: the registry holds the defaults the dialog shows.
export WINEPREFIX=$build/wineprefix-screenshots
unset DISPLAY
source "$root/scripts/wine-env.sh"
trap 'rm -rf "$work"; camtag_wine_stop' EXIT
camtag_wine_start
"$CAMTAG_WINE64" "$build/tools/ui-screenshots/ui-screenshots.exe" --module "$(winpath "$build/src/host/fl-Camtag.prm")" \
  --clip "$(winpath "$clip")" --picture "$(winpath "$work/frame.bgra")" "${width}x${height}" --out "$(winpath "$out")"
echo "screenshots: written to $out" >&2
