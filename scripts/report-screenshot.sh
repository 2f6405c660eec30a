#!/usr/bin/env bash
# The README's pictures of a tape at a glance: a tape of two recordings (made here with ffmpeg,
# each with its own creation_time and timecode) through `camtag-probe --report` and
# `--contact-sheet`, the report's page photographed by a real headless browser (Debian's
# Chromium, offline: the page loads nothing from elsewhere). Written to docs/report.png and
# docs/contact-sheet.png.
#   bash scripts/report-screenshot.sh [OUT_FOLDER]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/docs}")
bash "$root/scripts/setup.sh" docs
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for part in "0 2004-12-24T18:30:00 01:00:00:00" "3 2005-01-01T11:05:00 02:14:30:00" "6 2005-01-01T11:20:12 02:16:10:00"; do
  read -r start when timecode <<<"$part"
  ffmpeg -nostdin -v error -f lavfi -ss "$start" -i testsrc2=size=720x576:rate=25 -frames:v 50 -pix_fmt yuv420p \
    -c:v dvvideo -metadata creation_time="$when" -timecode "$timecode" -f dv - >>"$work/tape.dv"
done
ffmpeg -nostdin -v error -f dv -i "$work/tape.dv" -c copy "$work/holiday-tape.avi"
bash "$root/scripts/camtag-probe" --report "$work/report" "$work/holiday-tape.avi"
bash "$root/scripts/camtag-probe" --contact-sheet "$work/sheet.png" "$work/holiday-tape.avi"
mkdir -p "$out"
timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync --hide-scrollbars \
  --user-data-dir="$work/browser" --window-size=1100,1020 --screenshot="$out/report.png" \
  "file://$work/report/index.html" </dev/null >/dev/null 2>&1
cp "$work/sheet.png" "$out/contact-sheet.png"
echo "report-screenshot: docs written to $out" >&2
