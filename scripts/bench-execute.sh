#!/usr/bin/env bash
# Measures one execute call of the module under wine64 (720x576 PAL frame, date mode, outline,
# shadow and box on) on a one-hour OpenDML file and on a ten-second file, the ten seconds also on
# 1920x1080 frames, and ffmpeg's drawtext stamping a similar two-line text with border, shadow
# and box, in the same run.
#
#   bash scripts/bench-execute.sh [--calls N]
#
# Builds build/x86_64 (module and benchmark) if needed; the sparse test files go to
# build/x86_64/bench-data and are deleted after use.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
calls=300
[ "${1:-}" = --calls ] && calls=${2:?--calls needs a value}

build=${CAMTAG_BUILD_DIR:-$root/build/x86_64}
source "$root/scripts/build-env.sh"
camtag_build "$build" fl-Camtag bench-execute || exit 1
log=$(mktemp)
trap 'rm -f "$log"' EXIT

winpath() { printf 'Z:%s' "${1//\//\\}"; }
export WINEPREFIX=$build/wineprefix-bench
source "$root/scripts/wine-env.sh"
trap 'rm -f "$log"; camtag_wine_stop' EXIT
camtag_wine_start

echo "== module execute under wine64 ($calls calls per file)"
out=$("$CAMTAG_WINE64" "$build/tools/bench-execute/bench-execute.exe" \
  --module "$(winpath "$build/src/host/fl-Camtag.prm")" \
  --template "$(winpath "$root/tests/data/pal-type2-idx1-ffmpeg.avi")" \
  --work "$(winpath "$build/bench-data")" --calls "$calls" </dev/null)
echo "$out" | grep -v '^execute_'
module_ms=$(echo "$out" | sed -n 's/^execute_ms=//p')

# ffmpeg: the same two lines in Liberation Sans (Wine's Arial) at the module's size for a
# 576-line frame, with border, shadow and box, on 720x576 BGRA frames; one thread, as the
# module draws on the host's thread. Cost per frame = (with drawtext - without) / frames.
frames=1000
font=/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf
printf '14:23:05\n15.07.04' >"$log.txt"
run() {
  ffmpeg -nostdin -hide_banner -nostats -v info -benchmark -threads 1 -filter_threads 1 \
    -f lavfi -i "color=c=gray:s=720x576:r=25,format=bgra" -frames:v $frames \
    -vf "$1" -f rawvideo -pix_fmt bgra -y /dev/null 2>&1 | sed -n 's/.*rtime=\([0-9.]*\)s.*/\1/p'
}
best() { local b=999999 t; for _ in 1 2 3; do t=$(run "$1"); b=$(awk -v t="$t" -v b="$b" 'BEGIN { print (t < b ? t : b) }'); done; echo "$b"; }
base=$(best "null")
draw=$(best "drawtext=fontfile=$font:textfile=$log.txt:fontsize=43:fontcolor=0xE0E0E0:x=58:y=432:line_spacing=6:borderw=2:bordercolor=black:shadowx=3:shadowy=3:shadowcolor=black:box=1:boxcolor=black:boxborderw=4")
rm -f "$log.txt"
ffmpeg_ms=$(awk -v d="$draw" -v b="$base" -v n=$frames 'BEGIN { print (d - b) * 1000 / n }')
printf '== ffmpeg drawtext: %.3f ms per frame (%d frames: %.2f s with drawtext, %.2f s without)\n' \
  "$ffmpeg_ms" "$frames" "$draw" "$base"
printf '== module / ffmpeg drawtext: %.1f\n' "$(awk -v m="$module_ms" -v f="$ffmpeg_ms" 'BEGIN { print m / f }')"
