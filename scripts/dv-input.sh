# Sourced by the scripts that hand DV files to the module's programs.
#
#   camtag_winpath PATH            the Windows path of a Linux path, through Wine's drive Z:
#   camtag_linux_paths             a filter: the Windows paths (Z:\...) in messages back in their
#                                  Linux form
#   camtag_remux_dv INPUT DIR      remuxes INPUT with ffmpeg -c copy into a DV AVI in DIR, under
#                                  INPUT's own file name (so that %f in a title still shows it),
#                                  and prints its path; fails, saying why on stderr, when INPUT
#                                  holds no DV video or ffmpeg cannot copy it
#
# The module reads DV AVI files only. A raw DV stream, DV in QuickTime or Matroska, or an AVI
# whose index is missing or cut (a capture that stopped) holds the same DIF frames, which ffmpeg
# copies untouched into an AVI it indexes afresh: the recording dates are still the camcorder's.
camtag_winpath() {
  local abs
  abs=$(realpath -m -- "$1")
  printf 'Z:%s' "${abs//\//\\}"
}

camtag_linux_paths() {
  perl -pe 's{Z:((?:\\[^\\:\r\n]*)+)}{$1 =~ tr|\\|/|r}ge'
}

camtag_remux_dv() {
  local input=$1 dir=$2 codec out
  codec=$(ffprobe -v error -select_streams v:0 -show_entries stream=codec_name -of csv=p=0 -- "$input" 2>/dev/null | head -1)
  if [ "$codec" != dvvideo ]; then
    if [ -z "$codec" ]; then
      echo "ffmpeg finds no video in it" >&2
    else
      echo "ffmpeg reads its video as $codec, not DV" >&2
    fi
    return 1
  fi
  out=$dir/$(basename -- "$input")
  if ! ffmpeg -nostdin -v error -y -i "$input" -map 0:v:0 -c copy -f avi "$out" 2>"$dir/remux.log"; then
    echo "ffmpeg could not copy its DV frames: $(tail -1 "$dir/remux.log")" >&2
    rm -f "$out"
    return 1
  fi
  printf '%s' "$out"
}
