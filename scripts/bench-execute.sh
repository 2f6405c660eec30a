#!/usr/bin/env bash
# Measures one execute call of the module under wine64 (720x576 PAL frame, date mode, outline,
# shadow and box on) on a one-hour OpenDML file and on a ten-second file, the ten seconds also on
# 1920x1080 frames and in timecode mode, and ffmpeg's drawtext stamping the same text with
# border, shadow and box, taking turns in the same run.
#
#   bash scripts/bench-execute.sh [--calls N] [--rounds N] [--before OLD-fl-Camtag.prm]
#
# With --before, an earlier build of the module takes its turn in each round as well.
# Prints the module / drawtext ratios: date mode (720x576 and 1920x1080 against drawtext at
# 720x576) and timecode mode (a new text every frame, against drawtext's running timecode).
#
# Builds build/x86_64 (module and benchmark) if needed; the sparse test files go to
# build/x86_64/bench-data and are deleted after use.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
calls=300
rounds=5
before=
while [ $# -gt 0 ]; do
  case $1 in
    --calls) calls=${2:?--calls needs a value}; shift 2 ;;
    --rounds) rounds=${2:?--rounds needs a value}; shift 2 ;;
    --before) before=${2:?--before needs a module}; shift 2 ;;
    *) echo "usage: bench-execute.sh [--calls N] [--rounds N] [--before OLD-fl-Camtag.prm]" >&2; exit 2 ;;
  esac
done
load=$(cut -d' ' -f1-3 /proc/loadavg)

build=${CAMTAG_BUILD_DIR:-$root/build/x86_64}
source "$root/scripts/build-env.sh"
camtag_build "$build" fl-Camtag bench-execute || exit 1
log=$(mktemp)
trap 'rm -f "$log"' EXIT

winpath() { printf 'Z:%s' "${1//\//\\}"; }
export WINEPREFIX=$build/wineprefix-bench
source "$root/scripts/wine-env.sh"
trap 'rm -f "$log"*; camtag_wine_stop' EXIT
camtag_wine_start

# The module's run and ffmpeg's take turns, rounds times; each figure is the median of its
# rounds, so that other load on the machine falls on both sides alike.
frames=1000
font=/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf
printf '14:23:05\n15.07.04' >"$log.txt"
# ffmpeg: the same text in Liberation Sans (Wine's Arial) at the module's size for a 576-line
# frame, the outline as a border, the shadow, the box; on 720x576 BGRA frames, one thread, as
# the module draws on the host's thread. Cost per frame = (with drawtext - without) / frames.
style="fontfile=$font:fontsize=43:fontcolor=0xE0E0E0:x=58:y=432:line_spacing=6:borderw=2:bordercolor=black:shadowx=3:shadowy=3:shadowcolor=black:box=1:boxcolor=black:boxborderw=4"
run() {
  ffmpeg -nostdin -hide_banner -nostats -v info -benchmark -threads 1 -filter_threads 1 \
    -f lavfi -i "color=c=gray:s=${2:-720x576}:r=25,format=bgra" -frames:v $frames \
    -vf "$1" -f rawvideo -pix_fmt bgra -y /dev/null 2>&1 | sed -n 's/.*rtime=\([0-9.]*\)s.*/\1/p'
}
# The same stamp on 1920x1080 frames: the font and place scaled to 1080 lines, as the module does.
hdstyle="fontfile=$font:fontsize=81:fontcolor=0xE0E0E0:x=154:y=810:line_spacing=11:borderw=2:bordercolor=black:shadowx=5:shadowy=5:shadowcolor=black:box=1:boxcolor=black:boxborderw=4"
median() { tr -d '\r' | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
: >"$log.old"; : >"$log.old1080"; : >"$log.oldtc"; : >"$log.tc.module"
: >"$log.hd"; : >"$log.module"; : >"$log.date"; : >"$log.tc"; : >"$log.1080"; : >"$log.ratio"
run "null" >/dev/null # the first run warms the caches
for round in $(seq "$rounds"); do
  base=$(run "null")
  date=$(run "drawtext=textfile=$log.txt:$style")
  tc=$(run "drawtext=timecode='00\:00\:00\:00':rate=25:$style")
  hdbase=$(run "null" 1920x1080)
  hddate=$(run "drawtext=textfile=$log.txt:$hdstyle" 1920x1080)
  bench() {
    "$CAMTAG_WINE64" "$build/tools/bench-execute/bench-execute.exe" --module "$(winpath "$1")" \
      --template "$(winpath "$root/tests/data/pal-type2-idx1-ffmpeg.avi")" \
      --work "$(winpath "$build/bench-data")" --calls "$calls" </dev/null
  }
  if [ -n "$before" ]; then
    old=$(bench "$before")
    echo "$old" | grep -v "^execute_" | sed "s/^/   before: /"
    echo "$old" | sed -n 's/^execute_ms=//p' >>"$log.old"
    echo "$old" | sed -n 's/^execute_1080_ms=//p' >>"$log.old1080"
    echo "$old" | sed -n 's/^execute_timecode_ms=//p' >>"$log.oldtc"
  fi
  out=$(bench "$build/src/host/fl-Camtag.prm")
  echo "-- round $round: drawtext $date s, timecode drawtext $tc s, without $base s; 1920x1080: $hddate s, without $hdbase s ($frames frames)"
  echo "$out" | grep -v '^execute_' | sed 's/^/   /'
  echo "$out" | sed -n 's/^execute_ms=//p' >>"$log.module"
  echo "$out" | sed -n 's/^execute_1080_ms=//p' >>"$log.1080"
  echo "$out" | sed -n 's/^execute_timecode_ms=//p' >>"$log.tc.module"
  echo "$out" | sed -n 's/^one-hour \/ ten-second: //p' >>"$log.ratio"
  awk -v d="$date" -v b="$base" -v n=$frames 'BEGIN { print (d - b) * 1000 / n }' >>"$log.date"
  awk -v d="$tc" -v b="$base" -v n=$frames 'BEGIN { print (d - b) * 1000 / n }' >>"$log.tc"
  awk -v d="$hddate" -v b="$hdbase" -v n=$frames 'BEGIN { print (d - b) * 1000 / n }' >>"$log.hd"
done
rm -f "$log.txt"
module_ms=$(median <"$log.module"); hd_ms=$(median <"$log.1080"); tc_ms=$(median <"$log.tc.module")
date_ms=$(median <"$log.date"); tcdraw_ms=$(median <"$log.tc"); hddraw_ms=$(median <"$log.hd"); length_ratio=$(median <"$log.ratio")
rm -f "$log.hd" "$log.module" "$log.1080" "$log.tc.module" "$log.date" "$log.tc" "$log.ratio"
echo "== medians of $rounds rounds (load average before: $load, after: $(cut -d' ' -f1-3 /proc/loadavg))"
if [ -n "$before" ]; then
  printf '   before (%s): date mode %.3f ms; 1920x1080: %.3f ms; timecode mode: %.3f ms\n' "$before" \
    "$(median <"$log.old")" "$(median <"$log.old1080")" "$(median <"$log.oldtc")"
fi
printf '   module execute, date mode, 720x576: %.3f ms; 1920x1080: %.3f ms; timecode mode: %.3f ms\n' "$module_ms" "$hd_ms" "$tc_ms"
printf '   ffmpeg drawtext per frame: date text %.3f ms (1920x1080: %.3f ms), timecode %.3f ms\n' "$date_ms" "$hddraw_ms" "$tcdraw_ms"
ratio() { awk -v m="$1" -v f="$2" 'BEGIN { printf "%.2f", m / f }'; }
echo "== module / drawtext: date mode $(ratio "$module_ms" "$date_ms") (target 0.5), 1920x1080 $(ratio "$hd_ms" "$hddraw_ms") (target 1; against drawtext at 720x576: $(ratio "$hd_ms" "$date_ms")), timecode mode $(ratio "$tc_ms" "$tcdraw_ms") (target 1)"
echo "== one-hour / ten-second file: $length_ratio (target 1.1)"
