#!/usr/bin/env bash
# What each file of a batch costs after the first: render.sh on a batch of N copies of a short
# clip against a batch of one, both from a cold Wine session, taking turns; and a plain ffmpeg
# transcode of the clip with the same output settings (scripts/encode-settings.sh), which any
# tool pays per file. The overhead of render.sh per file is the difference.
#
#   bash scripts/bench-batch.sh [--files N] [--runs N]
#
# The clip, build/x86_64/bench-data/pal-50.avi, is made once: 50 PAL DV frames (2 s) of ffmpeg's
# test pattern with a tone and a recording date.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
files=9 runs=3
while [ $# -gt 0 ]; do
  case "$1" in
    --files) files=${2:?}; shift 2 ;;
    --runs) runs=${2:?}; shift 2 ;;
    *) echo "bench-batch: unknown option $1" >&2; exit 1 ;;
  esac
done
[[ "$files" =~ ^[0-9]+$ ]] && [ "$files" -ge 2 ] || { echo "bench-batch: --files: at least 2" >&2; exit 1; }
build=${CAMTAG_BUILD_DIR:-$root/build/x86_64}
source "$root/scripts/build-env.sh"
camtag_build "$build" fl-Camtag camtag-render camtag-probe && camtag_build_front || exit 1
source "$root/scripts/encode-settings.sh"
clip=$build/bench-data/pal-50.avi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ ! -f "$clip" ]; then
  mkdir -p "$(dirname "$clip")"
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=720x576:rate=25:duration=2" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=2" -c:v dvvideo -pix_fmt yuv420p -c:a pcm_s16le -ac 2 \
    -metadata creation_time=2004-07-15T14:23:05Z -f dv "$work/clip.dv"
  ffmpeg -nostdin -v error -y -i "$work/clip.dv" -map 0 -c copy "$clip.part.avi"
  mv "$clip.part.avi" "$clip"
fi
mkdir -p "$work/one" "$work/many"
cp "$clip" "$work/one/clip-1.avi"
for ((i = 1; i <= files; i++)); do cp "$clip" "$work/many/clip-$i.avi"; done

# A Wine prefix of the benchmark's own, its server ended before each run: every batch pays
# Wine's start once, as a user's does.
export CAMTAG_RENDER_PREFIX=$build/wineprefix-bench-render
end_wine() { WINEPREFIX=$CAMTAG_RENDER_PREFIX /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true; }
batch() { CAMTAG_NO_BUILD=1 bash "$root/scripts/render.sh" "$work/$1/" "$work/out-$1/" --overwrite >/dev/null 2>&1; }
sar=$(ffprobe -v error -select_streams v:0 -show_entries stream=sample_aspect_ratio -of csv=p=0 "$clip")
camtag_video_args video_args 0
camtag_audio_args audio_args
plain() {
  local i
  for ((i = 1; i <= files - 1; i++)); do
    ffmpeg -nostdin -v error -y -i "$clip" -map 0:v:0 -vf "$(camtag_picture_filter 0),setsar=${sar/:/\/}" \
      "${video_args[@]}" -map 0:a:0 "${audio_args[@]}" -shortest -movflags +faststart "$work/plain.mp4"
  done
}
seconds() {
  local started=$EPOCHREALTIME
  "$@" || { echo "bench-batch: $* failed" >&2; exit 1; }
  awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f", b - a }'
}
median() { tr ' ' '\n' | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

end_wine; batch one; end_wine # the prefix made, the caches warm
echo "== load before: $(uptime | sed 's/.*load average/load average/')"
ones=() manys=() plains=()
for ((r = 1; r <= runs; r++)); do
  ones+=("$(seconds batch one)"); end_wine
  manys+=("$(seconds batch many)"); end_wine
  plains+=("$(seconds plain)")
  echo "   run $r: 1 file ${ones[-1]} s, $files files ${manys[-1]} s, $((files - 1)) plain transcodes ${plains[-1]} s" >&2
done
echo "== load after: $(uptime | sed 's/.*load average/load average/')"
[ "$(ls "$work/out-many" | wc -l)" = "$files" ] || { echo "bench-batch: the batch wrote $(ls "$work/out-many" | wc -l) files" >&2; exit 1; }
one=$(echo "${ones[*]}" | median) many=$(echo "${manys[*]}" | median) p=$(echo "${plains[*]}" | median)
awk -v one="$one" -v many="$many" -v p="$p" -v n="$files" 'BEGIN {
  per = (many - one) / (n - 1); plain = p / (n - 1)
  printf "== a batch of 1: %.2f s; of %d: %.2f s (medians of the runs)\n", one, n, many
  printf "== each file after the first: %.2f s, of which a plain transcode takes %.2f s: render.sh adds %.2f s\n", per, plain, per - plain
}'
