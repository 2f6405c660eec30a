#!/usr/bin/env bash
# Times `scripts/render.sh CLIP OUT.mp4` against a plain ffmpeg transcode of the same clip with
# the same output settings (scripts/encode-settings.sh: H.264 medium CRF 18 interlaced bottom
# field first, AAC 192k), in one run, the two taking turns so that other load on the machine
# falls on both alike. Each render.sh run starts Wine afresh, as a user's single run does.
#
#   bash scripts/bench-render-pipeline.sh [--runs N]
#
# The clip, build/x86_64/bench-data/pal-1000.avi, is made once: 1,000 PAL DV frames (40 s) of
# ffmpeg's test pattern with a tone, a recording date (2004-07-15 14:23:05 on) and a tape
# timecode, as a camcorder writes them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=3
if [ "${1:-}" = --runs ]; then
  runs=${2:?--runs needs a value}
  [[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "bench-render-pipeline: --runs $runs: expected a positive number" >&2; exit 1; }
fi

build=${CAMTAG_BUILD_DIR:-$root/build/x86_64}
source "$root/scripts/build-env.sh"
camtag_build "$build" fl-Camtag camtag-render camtag-probe && camtag_build_front || exit 1
source "$root/scripts/encode-settings.sh"

data=$build/bench-data
clip=$data/pal-1000.avi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$data"
if [ ! -f "$clip" ]; then
  echo "== making $clip" >&2
  # The DV muxer writes the creation time as the recording date and time of every frame.
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=720x576:rate=25:duration=40" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=40" \
    -c:v dvvideo -pix_fmt yuv420p -c:a pcm_s16le -ac 2 \
    -metadata creation_time=2004-07-15T14:23:05Z -timecode 10:20:30:00 -f dv "$work/clip.dv"
  ffmpeg -nostdin -v error -y -i "$work/clip.dv" -map 0 -c copy "$work/clip.avi"
  mv "$work/clip.avi" "$clip"
  rm -f "$work/clip.dv"
fi
# The module must find the recording date, or nothing would be drawn.
first=$(bash "$root/scripts/camtag-probe" --frames 0 "$clip" | cut -f2,3)
[ "$first" = "$(printf '2004-07-15\t14:23:05')" ] || { echo "bench-render-pipeline: no recording date in $clip" >&2; exit 1; }

sar=$(ffprobe -v error -select_streams v:0 -show_entries stream=sample_aspect_ratio -of csv=p=0 "$clip")
camtag_video_args video_args 0
camtag_audio_args audio_args
plain() {
  ffmpeg -nostdin -v error -y -i "$clip" -map 0:v:0 -vf "$(camtag_picture_filter 0),setsar=${sar/:/\/}" \
    "${video_args[@]}" -map 0:a:0 "${audio_args[@]}" -shortest -movflags +faststart "$work/plain.mp4"
}
stamped() {
  bash "$root/scripts/render.sh" "$clip" "$work/stamped.mp4" --overwrite 2>"$work/stamped.err"
}
# render.sh runs in a prefix of the benchmark's own, whose Wine server lingers after a render;
# ended here (it serves no one else), so that every render.sh run pays Wine's start as a single
# run does, and renders of other people are never touched.
export CAMTAG_RENDER_PREFIX=$build/wineprefix-bench-render
end_render_wine() {
  WINEPREFIX=$CAMTAG_RENDER_PREFIX /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
}
# "WALL CPU": seconds of the run and of processor time in it, every process it waited for
# included (not the Wine server, about 0.2 ms a frame).
measure() {
  local TIMEFORMAT='%R %U %S'
  { time "$@" >/dev/null 2>&1; } 2>"$work/time" || return 1
  awk '{ printf "%.2f %.2f\n", $1, $2 + $3 }' "$work/time"
}
median() { tr ' ' '\n' | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# The best run: what the machine gives when the other load leaves it alone.
best() { tr ' ' '\n' | sort -n | head -n 1; }

# A first render.sh run prepares the prefix and the build checks; it is not counted.
end_render_wine
stamped
end_render_wine
echo "== load before: $(uptime | sed 's/.*load average/load average/')"
plain_times=() stamped_times=() plain_cpu=() stamped_cpu=()
for ((i = 1; i <= runs; i++)); do
  read -r wall cpu < <(measure plain) && [ -n "$cpu" ] || { echo "bench-render-pipeline: the transcode failed" >&2; exit 1; }
  plain_times+=("$wall") plain_cpu+=("$cpu")
  read -r wall cpu < <(measure stamped) && [ -n "$cpu" ] || {
    echo "bench-render-pipeline: render.sh failed:" >&2
    cat "$work/stamped.err" >&2
    exit 1
  }
  stamped_times+=("$wall") stamped_cpu+=("$cpu")
  end_render_wine
  echo "   run $i: plain ${plain_times[-1]} s (processor ${plain_cpu[-1]} s), render.sh ${stamped_times[-1]} s (processor ${stamped_cpu[-1]} s)" >&2
done
echo "== load after: $(uptime | sed 's/.*load average/load average/')"

for f in plain stamped; do
  read -r order frames < <(ffprobe -v error -select_streams v:0 -count_packets \
    -show_entries stream=field_order,nb_read_packets -of csv=p=0 "$work/$f.mp4" | tr ',' ' ')
  [ "$order" = bb ] && [ "$frames" = 1000 ] \
    || { echo "bench-render-pipeline: $f.mp4 has $frames frames, field order $order" >&2; exit 1; }
done
p=$(echo "${plain_times[*]}" | median) pc=$(echo "${plain_cpu[*]}" | median)
s=$(echo "${stamped_times[*]}" | median) sc=$(echo "${stamped_cpu[*]}" | median)
printf '== plain ffmpeg transcode: %.2f s, processor %.2f s (medians of %d)\n' "$p" "$pc" "$runs"
printf '== render.sh: %.2f s, processor %.2f s (medians of %d)\n' "$s" "$sc" "$runs"
printf '== render.sh / plain transcode: %.2f (processor time: %.2f)\n' \
  "$(awk -v s="$s" -v p="$p" 'BEGIN { print s / p }')" "$(awk -v s="$sc" -v p="$pc" 'BEGIN { print s / p }')"
# Each render.sh run against the transcode just before it: a machine that slows or speeds up
# over the runs moves both alike.
ratios=()
for ((i = 0; i < runs; i++)); do
  ratios+=("$(awk -v s="${stamped_times[i]}" -v p="${plain_times[i]}" 'BEGIN { printf "%.4f", s / p }')")
done
printf '== render.sh / plain transcode, run by run: %s; median %.2f\n' \
  "$(printf '%.2f ' "${ratios[@]}")" "$(echo "${ratios[*]}" | median)"
bp=$(echo "${plain_times[*]}" | best) bs=$(echo "${stamped_times[*]}" | best)
bpc=$(echo "${plain_cpu[*]}" | best) bsc=$(echo "${stamped_cpu[*]}" | best)
printf '== best of %d: plain %.2f s (processor %.2f s), render.sh %.2f s (processor %.2f s)\n' "$runs" "$bp" "$bpc" "$bs" "$bsc"
printf '== render.sh / plain transcode, best runs: %.2f (processor time: %.2f; target 1.10)\n' \
  "$(awk -v s="$bs" -v p="$bp" 'BEGIN { print s / p }')" "$(awk -v s="$bsc" -v p="$bpc" 'BEGIN { print s / p }')"
