#!/usr/bin/env bash
# Stamps every frame of DV files with the Camtag module, exactly as Premiere would call it, and
# writes videos (H.264 + AAC with the original sound) or a folder of PNG frames.
#
#   scripts/render.sh                            the sample clip -> out/sample.mp4, out/sample-frame.png
#   scripts/render.sh INPUT OUTPUT.mp4           one file (.mp4, .mov, .mkv, .m4v)
#   scripts/render.sh INPUT FOLDER/              one PNG per frame (also: OUTPUT without extension)
#   scripts/render.sh INPUT... FOLDER/           a batch: each input becomes FOLDER/NAME.mp4
#   scripts/render.sh INPUT-FOLDER/ FOLDER/      the same for every DV file in INPUT-FOLDER
#
# INPUT is a DV AVI file, or any file whose DV frames ffmpeg can copy into one (a raw .dv stream,
# DV in .mov or .mkv, an AVI whose index is missing or cut): that is remuxed into a temporary DV
# AVI first, the DV frames untouched.
#
# Options (anywhere after the script name):
#   --set NAME=VALUE        change a setting (registry value names: mode, title, color, x, y,
#                           drawshadow, timecodemode, timeadjust, font, fontsize, ...; README),
#                           repeatable; text in UTF-8
#   --time-format PICTURE   time picture for this run, e.g. "HH':'mm"
#   --date-format PICTURE   date picture for this run, e.g. "d MMMM yyyy"
#   --dialog                before rendering, open the module's own settings dialog on your
#                           display (its preview shows the first clip's first frame); OK renders
#                           every input with what you chose there, Cancel renders nothing
#   --settings FILE         start from a settings record saved with --save-settings
#   --save-settings FILE    save the settings the frames are stamped with (506 bytes), to give
#                           the same look to other clips with --settings
#   --subtitles             also write the stamped text as a subtitle track that players switch
#                           on and off (mov_text in .mp4/.mov/.m4v, SRT in .mkv)
#   --no-stamp              leave the picture untouched (with --subtitles: the subtitles only)
#   --split                 one video per recording on the tape, named by its start date and
#                           time: FOLDER/NAME_2024-07-08_19-55-58.mp4 (OUTPUT may also be a file
#                           name, whose folder, name and type are used)
#   --format mp4|mov|mkv|m4v  the type of the videos a batch or --split writes (default mp4)
#   --frames N              stamp only the first N frames (of each input)
#   --still FILE.png        also save the middle frame, stamped, as a picture (one input)
#   --deinterlace           weave the two fields into progressive frames (ffmpeg's bwdif), for
#                           screens; without it a video keeps DV's fields, encoded interlaced
#                           with the bottom field first
#
# On a terminal the renderer shows frames, speed and time left; otherwise one line per file.
# Videos carry the first frame's recording date and time (adjusted as the settings say) as
# their creation_time. Runs side by side never disturb each other.
#
# On a fresh machine it installs what is missing (scripts/setup.sh) and builds the x86_64 module
# and the renderer in build/x86_64 (bringing an existing build up to date). Settings defaults come
# from the registry of the renderer's own Wine prefix, build/x86_64/wineprefix-render.
# CAMTAG_BUILD_DIR=DIR uses another x86_64 build tree instead of build/x86_64; CAMTAG_NO_BUILD=1
# uses the tree as it is; CAMTAG_RENDER_PREFIX=DIR another Wine prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

die() { echo "render: $*" >&2; exit 1; }

still="" limit="" deinterlace=0 dialog=0 subtitles=0 stamp=1 split=0 format=""
stamp_args=()   # --set, --time-format, --date-format: the look
picture_args=() # --time-format, --date-format: they live in the picture lists, not the record
settings_in="" settings_out=""
positional=()
while [ $# -gt 0 ]; do
  case "$1" in
    --frames)
      [ $# -ge 2 ] || die "option $1 needs a value"
      [[ "$2" =~ ^[0-9]+$ ]] && [ "$2" -gt 0 ] || die "--frames $2: expected a positive number"
      limit=$2; shift 2 ;;
    --set)
      [ $# -ge 2 ] || die "option $1 needs a value"
      stamp_args+=("$1" "$2"); shift 2 ;;
    --time-format|--date-format)
      [ $# -ge 2 ] || die "option $1 needs a value"
      stamp_args+=("$1" "$2"); picture_args+=("$1" "$2"); shift 2 ;;
    --still)
      [ $# -ge 2 ] || die "option $1 needs a value"
      still=$2; shift 2 ;;
    --deinterlace) deinterlace=1; shift ;;
    --dialog) dialog=1; shift ;;
    --subtitles) subtitles=1; shift ;;
    --no-stamp) stamp=0; shift ;;
    --split) split=1; shift ;;
    --format)
      [ $# -ge 2 ] || die "option $1 needs a value"
      case "$2" in mp4|mov|mkv|m4v) format=$2 ;; *) die "--format $2: mp4, mov, mkv or m4v" ;; esac
      shift 2 ;;
    --settings)
      [ $# -ge 2 ] || die "option $1 needs a value"
      [ -f "$2" ] || die "--settings $2: no such file"
      settings_in=$(realpath "$2"); shift 2 ;;
    --save-settings)
      [ $# -ge 2 ] || die "option $1 needs a value"
      settings_out=$(realpath -m "$2"); shift 2 ;;
    -h|--help)
      sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) die "unknown option $1 (see --help)" ;;
    *) positional+=("$1"); shift ;;
  esac
done

# What to read: the inputs as given (a folder stands for its DV files, in name order).
inputs=()
output=""
case ${#positional[@]} in
  0) inputs=("$root/samples/ntsc-camcorder.avi")
     output=$root/out/sample.mp4
     [ -n "$still" ] || still=$root/out/sample-frame.png ;;
  1) die "expected INPUT... OUTPUT (or no arguments for the sample); see --help" ;;
  *) output=${positional[-1]}
     for given in "${positional[@]:0:${#positional[@]}-1}"; do
       if [ -d "$given" ]; then
         found=0
         while IFS= read -r -d '' f; do inputs+=("$f"); found=1; done < <(
           find "$given" -maxdepth 1 -type f \( -iname '*.avi' -o -iname '*.dv' -o -iname '*.dif' \
             -o -iname '*.mov' -o -iname '*.mkv' \) -print0 | sort -z)
         [ "$found" = 1 ] || die "$given: no DV files (.avi .dv .dif .mov .mkv) in this folder"
       elif [ -e "$given" ]; then
         inputs+=("$given")
       else
         die "$given: no such file"
       fi
     done ;;
esac
batch=0
{ [ ${#inputs[@]} -gt 1 ] || [ -d "${positional[0]:-}" ]; } && batch=1

# What to write: a video file, a folder of PNG frames, or a folder of videos.
video_type() { case "${1,,}" in *.mp4) echo mp4 ;; *.mov) echo mov ;; *.mkv) echo mkv ;; *.m4v) echo m4v ;; esac; }
out_dir="" out_stem=""
if [ "$batch" = 1 ] || [ "$split" = 1 ]; then
  kind=videos
  if [ "$batch" = 0 ] && [ -n "$(video_type "$output")" ]; then
    # --split with a file name: its folder, name and type.
    out_dir=$(dirname -- "$output")
    base=${output##*/}
    out_stem=${base%.*}
    [ -n "$format" ] || format=$(video_type "$output")
  else
    case "${output##*/}" in
      *.*) [ -d "$output" ] || die "$output: a batch writes into a folder (end it with /)" ;;
    esac
    out_dir=${output%/}
  fi
  [ -n "$format" ] || format=mp4
  [ -z "$still" ] || die "--still takes one input and one output"
else
  base=${output##*/}
  if [ -z "$base" ] || [[ "$base" != *.* ]]; then
    kind=frames
  elif [ -n "$(video_type "$output")" ]; then
    kind=video
    format=$(video_type "$output")
  else
    die "$output: write .mp4, .mov, .mkv or .m4v, or a folder (ending in /) for PNG frames"
  fi
fi
if [ -n "$still" ]; then
  case "$still" in *.png|*.PNG) ;; *) die "--still $still: must be a .png file" ;; esac
fi
if [ "$kind" = frames ] && { [ "$subtitles" = 1 ] || [ "$split" = 1 ]; }; then
  die "PNG frames carry no subtitles and are not split; write a video"
fi
if [ "$stamp" = 0 ] && [ "$subtitles" = 0 ] && [ "$kind" = frames ]; then
  die "--no-stamp without --subtitles writes the frames unchanged: ffmpeg does that on its own"
fi
if [ "$dialog" = 1 ]; then
  [ ${#picture_args[@]} -eq 0 ] || die "--dialog with --time-format or --date-format: choose or edit the pictures in the dialog instead"
  [ -n "${DISPLAY:-}" ] || die "--dialog needs a display to show the settings dialog on (DISPLAY is not set)"
  if [[ "$DISPLAY" =~ ^:([0-9]+)(\.[0-9]+)?$ ]] && [ ! -e "/tmp/.X11-unix/X${BASH_REMATCH[1]}" ]; then
    die "--dialog needs a display to show the settings dialog on ($DISPLAY is not running)"
  fi
fi

# Build (or bring up to date) the x86_64 module and the tools, once for the whole batch.
build=${CAMTAG_BUILD_DIR:-$root/build/x86_64}
source "$root/scripts/build-env.sh"
source "$root/scripts/dv-input.sh"
CAMTAG_BUILD_NOTE="render: building the module and the renderer" camtag_build "$build" fl-Camtag camtag-render camtag-probe || die "the build failed"
module=$build/src/host/fl-Camtag.prm
renderer=$build/tools/camtag-render/camtag-render.exe
prober=$build/tools/camtag-probe/camtag-probe.exe
for f in "$module" "$renderer" "$prober"; do [ -f "$f" ] || die "the build made no $f"; done

work=$(mktemp -d "${TMPDIR:-/tmp}/camtag-render.XXXXXX")
trap 'rm -rf "$work"' EXIT

# One Wine session for everything: runs side by side share the prefix's server, which ends by
# itself after the last one.
source "$root/scripts/wine-env.sh"
source "$root/scripts/encode-settings.sh"
camtag_use_render_prefix "$build"
CAMTAG_WINE_LINGER=15 CAMTAG_BOOT_NOTE="render: preparing the Wine prefix (first run only)" camtag_wine_start ||
  die "Wine did not start"
wine_run() { "$CAMTAG_WINE64" "$@"; }
# The renderer's own words; a renderer (or Wine) that ended without any still gets a line.
renderer_failed() {
  if [ -s "$2" ]; then
    sed 's/^camtag-render: /render: /' "$2" | camtag_linux_paths >&2
  else
    echo "render: the renderer ended with exit status $1 and no message (Wine: $WINEPREFIX)" >&2
  fi
}

look_args=()
[ -n "$settings_in" ] && look_args+=(--settings "$(camtag_winpath "$settings_in")")

# The look: the defaults, the settings file, the options and the dialog, made once by the module
# on the first input (--save-settings keeps it). Each input is then stamped as it would be alone
# with the same options; after the dialog, with the look the dialog gave, as --settings gives it.
look=${settings_out:-$work/look.bin}
final_args=(--save-settings "$(camtag_winpath "$look")" "${look_args[@]}" "${stamp_args[@]}")
[ "$split" = 1 ] && final_args+=(--recordings)

# First look: which inputs the module reads as they are (the options are checked here too).
# Without the dialog it makes the look too, and serves as the last look when every input reads.
first_args=("${look_args[@]}" "${stamp_args[@]}")
[ "$dialog" = 1 ] || first_args=("${final_args[@]}")
win_inputs=()
for f in "${inputs[@]}"; do win_inputs+=("$(camtag_winpath "$f")"); done
status=0
wine_run "$renderer" --probe "${first_args[@]}" "${win_inputs[@]}" \
  </dev/null >"$work/first" 2>"$work/first.err" || status=$?
first_status=$status
# Status 2: some input is not ok, which its line says.
[ "$status" -eq 0 ] || [ "$status" -eq 2 ] || { renderer_failed "$status" "$work/first.err"; exit 1; }
# The ones it refuses are remuxed, each into a folder of its own under its own name.
readable=()
shown_names=() # the name the user gave each readable input (a remuxed one is a temporary file)
failed=()
i=0
while IFS=$'\t' read -r state reason _; do
  given=${inputs[$i]}
  case "$state" in
    ok) readable+=("$given"); shown_names+=("$given") ;;
    refused)
      mkdir -p "$work/remux-$i"
      if remuxed=$(camtag_remux_dv "$given" "$work/remux-$i" 2>"$work/why"); then
        echo "render: $given: $reason; remuxed with ffmpeg -c copy into a temporary DV AVI" >&2
        readable+=("$remuxed")
        shown_names+=("$given")
      else
        echo "render: $given: $reason, and it cannot be remuxed: $(cat "$work/why")" >&2
        failed+=("$given")
      fi ;;
    *) echo "render: $given: $reason" >&2; failed+=("$given") ;;
  esac
  i=$((i + 1))
done <"$work/first"
[ ${#readable[@]} -gt 0 ] || die "nothing stamped"

# Frame size, sample aspect ratio and sound of an input, from ffprobe.
stream_info() {
  local info
  info=$(ffprobe -v error -show_entries stream=codec_type,width,height,sample_aspect_ratio -of csv=p=0 -- "$1" 2>/dev/null)
  IFS=, read -r _ width height sar < <(grep '^video,' <<<"$info" | head -1)
  [[ "${width:-}" =~ ^[0-9]+$ && "${height:-}" =~ ^[0-9]+$ ]] || return 1
  [[ "$sar" =~ ^[1-9][0-9]*:[1-9][0-9]*$ ]] || sar=1:1
  sar_num=${sar%%:*} sar_den=${sar##*:}
  has_audio=$(grep -c '^audio' <<<"$info" || true)
  [ "$has_audio" -gt 0 ] || has_audio=""
}

if [ "$dialog" = 1 ]; then
  stream_info "${shown_names[0]}" || die "${shown_names[0]}: ffprobe found no video stream"
  ffmpeg -nostdin -v error -y -i "${readable[0]}" -frames:v 1 -vf vflip -f rawvideo -pix_fmt bgra "$work/first.bgra" \
    || die "${shown_names[0]}: cannot decode its first frame"
  final_args+=(--size "${width}x${height}" --dialog "$(camtag_winpath "$work/first.bgra")")
  echo "render: the settings dialog is open on $DISPLAY" >&2
fi
win_inputs=()
for f in "${readable[@]}"; do win_inputs+=("$(camtag_winpath "$f")"); done
status=0
if [ "$dialog" = 0 ] && [ "$first_status" -eq 0 ]; then
  cp "$work/first" "$work/final"
else
  wine_run "$renderer" --probe "${final_args[@]}" "${win_inputs[@]}" </dev/null >"$work/final" 2>"$work/final.err" || status=$?
fi
if [ "$status" -ne 0 ]; then
  [ "$status" -eq 4 ] && { echo "render: cancelled in the settings dialog; nothing rendered" >&2; exit 4; }
  renderer_failed "$status" "$work/final.err"
  exit 1
fi
mapfile -t probes <"$work/final"
if [ "$dialog" = 1 ]; then
  probe_args=(--settings "$(camtag_winpath "$look")")
else
  probe_args=("${look_args[@]}" "${stamp_args[@]}")
fi
render_args=("${probe_args[@]}")
[ -t 2 ] && render_args+=(--progress)

# Where each output goes; two inputs never write the same file.
declare -A taken=()
claim() {
  local path=$1 n=2 stem=${1%.*} ext=${1##*.}
  while [ -n "${taken[$path]:-}" ]; do
    path="$stem-$n.$ext"; n=$((n + 1))
  done
  taken[$path]=1
  printf '%s' "$path"
}

# One clip: frames FIRST.. (COUNT of them) of INPUT into OUT, created at CREATED; the sound
# comes from the file the user gave (SHOWN), which a remuxed INPUT lacks.
render_clip() {
  local input=$1 shown=$2 out=$3 first=$4 count=$5 created=$6 scale=$7 sample_size=$8
  local seek pixels flip picture encode cues=""
  seek=$(awk -v f="$first" -v s="$sample_size" -v r="$scale" 'BEGIN { printf "%.6f", int(f * s * 1000000 / r) / 1000000 }')
  if [ "$kind" != frames ] && [ $((width % 2)) -eq 0 ] && [ $((height % 2)) -eq 0 ]; then
    pixels=yuv420p flip=""
  else
    pixels=bgra flip="vflip,"
  fi
  # Subtitles: the stamped text, composed by camtag-probe from the same look.
  if [ "$subtitles" = 1 ]; then
    cues=$work/cues.srt
    wine_run "$prober" --name "$shown" --frames "$first-$((first + count - 1))" --srt "$(camtag_winpath "$cues")" \
      "${probe_args[@]}" "$(camtag_winpath "$input")" </dev/null 2>"$work/cues.err" \
      || { sed 's/^camtag-probe: /render: /' "$work/cues.err" | camtag_linux_paths >&2; return 1; }
    # A stretch without any text has no subtitle track (ffmpeg takes no empty SRT file).
    [ -s "$cues" ] || cues=""
  fi

  encode=(ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt "$pixels" -s "${width}x${height}"
          -framerate "$scale/$sample_size" -i -)
  picture="$flip$(camtag_picture_filter "$deinterlace"),setsar=$sar_num/$sar_den"
  if [ "$kind" = frames ]; then
    mkdir -p "$out"
    [ "$deinterlace" = 1 ] || picture="${flip}setsar=$sar_num/$sar_den"
    encode+=(-map 0:v -vf "$picture" -pix_fmt rgb24 "${out%/}/frame-%06d.png")
  else
    mkdir -p "$(dirname -- "$out")"
    local video_args audio_args n=1
    camtag_video_args video_args "$deinterlace"
    camtag_audio_args audio_args
    if [ -n "$has_audio" ]; then encode+=(-ss "$seek" -i "$shown"); n=$((n + 1)); fi
    [ -n "$cues" ] && encode+=(-i "$cues")
    encode+=(-map 0:v -vf "$picture" "${video_args[@]}")
    [ -n "$has_audio" ] && encode+=(-map 1:a:0 "${audio_args[@]}")
    if [ -n "$cues" ]; then
      encode+=(-map "$n:s" -c:s "$([ "$format" = mkv ] && echo srt || echo mov_text)"
               -metadata:s:s:0 title="Recording date and time" -metadata:s:s:0 handler_name="Recording date and time")
    fi
    # The sound ends with the last frame.
    encode+=(-t "$(awk -v c="$count" -v s="$sample_size" -v r="$scale" 'BEGIN { printf "%.6f", c * s / r }')")
    [ "$created" != - ] && encode+=(-metadata "creation_time=${created}Z")
    [ "$format" = mkv ] || encode+=(-movflags +faststart)
    encode+=("$out")
  fi
  if [ -n "$still" ]; then
    mkdir -p "$(dirname "$still")"
    # Square pixels for the picture, so that it looks as the clip does on screen.
    encode+=(-map 0:v -vf "${flip}select=eq(n\\,$((count / 2))),scale=trunc(iw*$sar_num/$sar_den/2)*2:ih,setsar=1"
             -pix_fmt rgb24 -frames:v 1 -update 1 "$still")
  fi

  local decode=(ffmpeg -nostdin -v error -ss "$seek" -i "$input" -map 0:v:0 -fps_mode passthrough -frames:v "$count"
                ${flip:+-vf vflip} -f rawvideo -pix_fmt "$pixels" -)
  # On a terminal the renderer's progress shows there (through a pipe: Wine would treat a
  # terminal as its console); its messages are kept for the line below either way.
  local started=$EPOCHREALTIME statuses
  : >"$work/renderer.err"
  set +e
  if [ "$stamp" = 1 ]; then
    "${decode[@]}" 2>"$work/decoder.err" \
      | wine_run "$renderer" --module "$(camtag_winpath "$module")" --size "${width}x${height}" --pixels "$pixels" \
          --name "$shown" --in "$first" --frames "$count" "${render_args[@]}" "$(camtag_winpath "$input")" \
          2> >(if [ -t 2 ]; then tee "$work/renderer.err" >&2; else cat >"$work/renderer.err"; fi) \
      | "${encode[@]}"
    statuses=("${PIPESTATUS[@]}")
    wait $! 2>/dev/null # the renderer's messages are all in
  else
    "${decode[@]}" 2>"$work/decoder.err" | "${encode[@]}"
    statuses=("${PIPESTATUS[0]}" 0 "${PIPESTATUS[1]}")
  fi
  set -e
  if [ "${statuses[1]}" -ne 0 ] || [ "${statuses[2]}" -ne 0 ]; then
    [ "$kind" != frames ] && rm -f "$out"
    [ -t 2 ] || sed '/: [0-9]* frames in .* s (/d; s/^camtag-render: /render: /' "$work/renderer.err" | camtag_linux_paths >&2
    cat "$work/decoder.err" >&2
    echo "render: $shown: stamping failed" >&2
    return 1
  fi
  cat "$work/decoder.err" >&2
  # One line per clip: the renderer's warnings first, if any.
  [ -t 2 ] || sed -n '/^camtag-render: warning: /s/^camtag-render: /render: /p' "$work/renderer.err" >&2
  echo "render: $shown -> $out${still:+ and $still}: $count frames in $(awk -v a="$started" -v b="$EPOCHREALTIME" -v n="$count" \
    'BEGIN { printf "%.1f s (%.1f frames/s)", b - a, n / (b - a) }')" >&2
}

failures=()
for i in "${!readable[@]}"; do
  input=${readable[$i]}
  shown=${shown_names[$i]}
  IFS=$'\t' read -r state frames scale sample_size _ _ created recordings <<<"${probes[$i]}"
  if [ "$state" != ok ]; then echo "render: $shown: $frames" >&2; failures+=("$shown"); continue; fi
  if ! stream_info "$shown"; then echo "render: $shown: ffprobe found no video stream" >&2; failures+=("$shown"); continue; fi
  name=${shown##*/}
  stem=${out_stem:-${name%.*}}
  if [ "$split" = 1 ]; then
    IFS=, read -r -a pieces <<<"$recordings"
    ok=1
    for piece in "${pieces[@]}"; do
      range=${piece%%=*} start=${piece#*=}
      first=${range%-*} last=${range#*-}
      count=$((last - first + 1))
      [ -n "$limit" ] && [ "$limit" -lt "$count" ] && count=$limit
      if [ "$start" = - ]; then label="frame-$first" piece_created=-
      else label=$start piece_created=$(sed 's/_/T/; s/-\([0-9][0-9]\)-\([0-9][0-9]\)$/:\1:\2/' <<<"$start"); fi
      out=$(claim "$out_dir/${stem}_$label.$format")
      render_clip "$input" "$shown" "$out" "$first" "$count" "$piece_created" "$scale" "$sample_size" || ok=0
    done
    [ "$ok" = 1 ] || failures+=("$shown")
  else
    count=$frames
    [ -n "$limit" ] && [ "$limit" -lt "$count" ] && count=$limit
    if [ "$kind" = videos ]; then out=$(claim "$out_dir/$stem.$format"); else out=$output; fi
    render_clip "$input" "$shown" "$out" 0 "$count" "$created" "$scale" "$sample_size" || failures+=("$shown")
  fi
  # A remuxed copy is as large as its input: gone as soon as it served.
  case "$input" in "$work"/*) rm -f "$input" ;; esac
done
failures+=("${failed[@]}")
if [ ${#failures[@]} -gt 0 ]; then
  [ ${#inputs[@]} -gt 1 ] && echo "render: ${#failures[@]} of ${#inputs[@]} inputs failed: ${failures[*]}" >&2
  exit 1
fi
