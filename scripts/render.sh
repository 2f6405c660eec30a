#!/usr/bin/env bash
# Stamps every frame of a DV AVI with the Camtag module, exactly as Premiere would call it, and
# writes an .mp4 (H.264 + AAC with the original sound) or a folder of PNG frames.
#
#   scripts/render.sh                         the sample clip -> out/sample.mp4, out/sample-frame.png
#   scripts/render.sh INPUT.avi OUTPUT.mp4    (.mp4, .mov, .mkv, .m4v)
#   scripts/render.sh INPUT.avi FOLDER/       one PNG per frame (also: OUTPUT without extension)
#
# Options (anywhere after the script name):
#   --set NAME=VALUE        change a setting (registry value names: mode, title, color, x, y,
#                           drawshadow, timecodemode, timeadjust, font, fontsize, ...), repeatable
#   --time-format PICTURE   time picture for this run, e.g. "HH':'mm"
#   --date-format PICTURE   date picture for this run, e.g. "d MMMM yyyy"
#   --frames N              stamp only the first N frames
#   --still FILE.png        also save the middle frame, stamped, as a picture
#   --deinterlace           weave the two fields into progressive frames (ffmpeg's bwdif), for
#                           screens; without it a video keeps DV's fields, encoded interlaced
#                           with the bottom field first
#   --dialog                before rendering, open the module's own settings dialog on your
#                           display (its preview shows the clip's first frame); OK renders with
#                           what you chose there, Cancel renders nothing
#   --settings FILE         start from a settings record saved with --save-settings
#   --save-settings FILE    save the settings the frames are stamped with (506 bytes), to give
#                           the same look to other clips with --settings
#
# On a fresh machine it installs what is missing (scripts/setup.sh) and builds the x86_64 module
# and the renderer in build/x86_64 (bringing an existing build up to date). Settings defaults come
# from the registry of the renderer's own Wine prefix, build/x86_64/wineprefix-render.
# CAMTAG_BUILD_DIR=DIR uses another x86_64 build tree instead of build/x86_64; CAMTAG_NO_BUILD=1
# uses the tree as it is.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

die() { echo "render: $*" >&2; exit 1; }

input="" output="" still="" limit="" deinterlace=0 dialog=0
tool_args=()
positional=()
while [ $# -gt 0 ]; do
  case "$1" in
    --frames)
      [ $# -ge 2 ] || die "option $1 needs a value"
      [[ "$2" =~ ^[0-9]+$ ]] && [ "$2" -gt 0 ] || die "--frames $2: expected a positive number"
      limit=$2; tool_args+=("$1" "$2"); shift 2 ;;
    --set|--time-format|--date-format)
      [ $# -ge 2 ] || die "option $1 needs a value"
      tool_args+=("$1" "$2"); shift 2 ;;
    --still)
      [ $# -ge 2 ] || die "option $1 needs a value"
      still=$2; shift 2 ;;
    --deinterlace) deinterlace=1; shift ;;
    --dialog) dialog=1; shift ;;
    --settings)
      [ $# -ge 2 ] || die "option $1 needs a value"
      [ -f "$2" ] || die "--settings $2: no such file"
      tool_args+=("$1" "$(realpath "$2")"); shift 2 ;;
    --save-settings)
      [ $# -ge 2 ] || die "option $1 needs a value"
      tool_args+=("$1" "$(realpath -m "$2")"); shift 2 ;;
    -h|--help)
      sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) die "unknown option $1 (see --help)" ;;
    *) positional+=("$1"); shift ;;
  esac
done
case ${#positional[@]} in
  0) input=$root/samples/ntsc-camcorder.avi
     output=$root/out/sample.mp4
     [ -n "$still" ] || still=$root/out/sample-frame.png ;;
  2) input=${positional[0]}; output=${positional[1]} ;;
  *) die "expected INPUT.avi OUTPUT (or no arguments for the sample); see --help" ;;
esac

[ -e "$input" ] || die "$input: no such file"
[ -f "$input" ] || die "$input: not a file"
input=$(realpath "$input")

# What to write: a video file or a folder of PNG frames.
base=${output##*/}
if [ -z "$base" ] || [[ "$base" != *.* ]]; then
  kind=frames
else
  case "${base##*.}" in
    mp4|MP4|mov|MOV|mkv|MKV|m4v|M4V) kind=video ;;
    *) die "$output: write .mp4, .mov, .mkv or .m4v, or a folder (ending in /) for PNG frames" ;;
  esac
fi
if [ -n "$still" ]; then
  case "$still" in *.png|*.PNG) ;; *) die "--still $still: must be a .png file" ;; esac
fi
if [ "$dialog" = 1 ]; then
  [ -n "${DISPLAY:-}" ] || die "--dialog needs a display to show the settings dialog on (DISPLAY is not set)"
  if [[ "$DISPLAY" =~ ^:([0-9]+)(\.[0-9]+)?$ ]] && [ ! -e "/tmp/.X11-unix/X${BASH_REMATCH[1]}" ]; then
    die "--dialog needs a display to show the settings dialog on ($DISPLAY is not running)"
  fi
fi

# Build (or bring up to date) the x86_64 module and the renderer.
build=${CAMTAG_BUILD_DIR:-$root/build/x86_64}
source "$root/scripts/build-env.sh"
[ "${CAMTAG_NO_BUILD:-}" = 1 ] || echo "render: building the module and the renderer" >&2
camtag_build "$build" fl-Camtag camtag-render || die "the build failed"
module=$build/src/host/fl-Camtag.prm
renderer=$build/tools/camtag-render/camtag-render.exe
[ -f "$module" ] || die "the build made no $module"
[ -f "$renderer" ] || die "the build made no $renderer"

# Windows paths through Wine's drive Z:, which maps the Linux root; the file options' paths too.
winpath() { printf 'Z:%s' "${1//\//\\}"; }
for i in "${!tool_args[@]}"; do
  case "${tool_args[$i]}" in
    --settings|--save-settings) tool_args[$((i + 1))]=$(winpath "${tool_args[$((i + 1))]}") ;;
  esac
done

# The decoded frame size, sample aspect ratio and sound come from ffprobe, asked while Wine
# starts.
info=$(mktemp)
trap 'rm -f "$info"' EXIT
ffprobe -v error -show_entries stream=codec_type,width,height,sample_aspect_ratio -of csv=p=0 "$input" \
  >"$info" 2>/dev/null &
ffprobe_pid=$!

# Renders side by side share the prefix; its server ends by itself after the last one. The
# renderer draws into memory only: Wine's device, plug-and-play and RPC services are not
# started, which halves Wine's start-up.
export WINEPREFIX=$build/wineprefix-render
export WINEDLLOVERRIDES="mscoree,mshtml=;plugplay.exe,winedevice.exe,svchost.exe,rpcss.exe=d"
source "$root/scripts/wine-env.sh"
source "$root/scripts/encode-settings.sh"
[ -f "$WINEPREFIX/system.reg" ] || echo "render: preparing the Wine prefix (first run only)" >&2
CAMTAG_WINE_LINGER=15 camtag_wine_start || die "Wine did not start"

# The renderer checks the file with the module's own DV reader and names the reason if it
# cannot be used; it also gives the timebase of the TV system.
probe=$("$CAMTAG_WINE64" "$renderer" --probe "${tool_args[@]}" "$(winpath "$input")" </dev/null) \
  || die "nothing stamped"
read -r frames scale sample_size _ _ <<<"$probe"
[ -n "$limit" ] && [ "$limit" -lt "$frames" ] && frames=$limit

wait "$ffprobe_pid" || true
IFS=, read -r _ width height sar < <(grep '^video,' "$info" | head -1)
[[ "${width:-}" =~ ^[0-9]+$ && "${height:-}" =~ ^[0-9]+$ ]] || die "$input: ffprobe found no video stream"
[[ "$sar" =~ ^[1-9][0-9]*:[1-9][0-9]*$ ]] || sar=1:1
sar_num=${sar%%:*} sar_den=${sar##*:}
has_audio=$(grep -c '^audio' "$info" || true)
[ "$has_audio" -gt 0 ] || has_audio=""

# What crosses the pipes. For a video, the decoder's own 4:2:0 planes: the renderer gives the
# module each frame whole in 32-bit BGRA, but only the rows it stamped come back converted, so
# the rest of the picture reaches the encoder exactly as decoded, and neither ffmpeg converts a
# whole frame. PNG frames are written from the stamped BGRA pixels themselves, bottom row first
# as the host holds them.
if [ "$kind" = video ] && [ $((width % 2)) -eq 0 ] && [ $((height % 2)) -eq 0 ]; then
  pixels=yuv420p flip=""
else
  pixels=bgra flip="vflip,"
fi

# Encoder side.
encode=(ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt "$pixels" -s "${width}x${height}"
        -framerate "$scale/$sample_size" -i -)
picture="$flip$(camtag_picture_filter "$deinterlace"),setsar=$sar_num/$sar_den"
if [ "$kind" = video ]; then
  mkdir -p "$(dirname "$output")"
  camtag_video_args video_args "$deinterlace"
  camtag_audio_args audio_args
  [ -n "$has_audio" ] && encode+=(-i "$input")
  encode+=(-map 0:v -vf "$picture" "${video_args[@]}")
  [ -n "$has_audio" ] && encode+=(-map 1:a:0 "${audio_args[@]}" -shortest)
  encode+=(-movflags +faststart "$output")
else
  mkdir -p "$output"
  [ "$deinterlace" = 1 ] || picture="${flip}setsar=$sar_num/$sar_den"
  encode+=(-map 0:v -vf "$picture" -pix_fmt rgb24 "${output%/}/frame-%06d.png")
fi
if [ -n "$still" ]; then
  mkdir -p "$(dirname "$still")"
  middle=$((frames / 2))
  # Square pixels for the picture, so that it looks as the clip does on screen.
  encode+=(-map 0:v -vf "${flip}select=eq(n\\,$middle),scale=trunc(iw*$sar_num/$sar_den/2)*2:ih,setsar=1"
           -pix_fmt rgb24 -frames:v 1 -update 1 "$still")
fi

# The settings dialog's preview shows the clip's first frame, as the host holds frames.
dialog_args=()
if [ "$dialog" = 1 ]; then
  first=$(mktemp)
  trap 'rm -f "$info" "$first"' EXIT
  ffmpeg -nostdin -v error -y -i "$input" -frames:v 1 -vf vflip -f rawvideo -pix_fmt bgra "$first" \
    || die "$input: cannot decode its first frame"
  dialog_args=(--dialog "$(winpath "$first")")
  echo "render: the settings dialog is open on $DISPLAY" >&2
fi

[ "$dialog" = 1 ] || echo "render: stamping $frames frames of $input" >&2
decoder_log=$(mktemp)
trap 'rm -f "$info" "${first:-}" "$decoder_log"' EXIT
set +e
ffmpeg -nostdin -v error -i "$input" -map 0:v:0 -fps_mode passthrough -frames:v "$frames" \
    ${flip:+-vf vflip} -f rawvideo -pix_fmt "$pixels" - 2>"$decoder_log" \
  | "$CAMTAG_WINE64" "$renderer" --module "$(winpath "$module")" --size "${width}x${height}" --pixels "$pixels" \
      "${dialog_args[@]}" "${tool_args[@]}" "$(winpath "$input")" \
  | "${encode[@]}"
statuses=("${PIPESTATUS[@]}")
set -e
if [ "${statuses[1]}" -ne 0 ] || [ "${statuses[2]}" -ne 0 ]; then
  [ "$kind" = video ] && rm -f "$output"
  # The renderer's status 4: the user cancelled the settings dialog (the decoder then finds its
  # pipe closed, which is no news).
  [ "${statuses[1]}" -eq 4 ] && { echo "render: cancelled in the settings dialog; nothing rendered" >&2; exit 4; }
  cat "$decoder_log" >&2
  die "stamping failed"
fi
cat "$decoder_log" >&2

echo "render: wrote $output${still:+ and $still}" >&2
