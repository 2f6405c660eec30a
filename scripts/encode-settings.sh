# Sourced by the benchmarks: how render.sh encodes a video (camtag encoding, the renderer's own
# settings), so that a plain transcode encodes exactly as render.sh does. Needs the front built
# (camtag_build_front).
#
#   camtag_picture_filter DEINTERLACE  the filters between the picture and the encoder
#   camtag_video_args ARRAY DEINTERLACE
#                                      H.264 as render.sh writes it
#   camtag_audio_args ARRAY            AAC as render.sh writes it

camtag_encoding() {
  local args=()
  [ "$1" = 1 ] && args=(--deinterlace)
  "$(camtag_front_dir)/camtag" encoding "${args[@]}"
}

camtag_picture_filter() { camtag_encoding "$1" | sed -n 1p; }

camtag_video_args() {
  local -n camtag_args_out=$1
  read -r -a camtag_args_out < <(camtag_encoding "$2" | sed -n 2p)
}

camtag_audio_args() {
  local -n camtag_args_out=$1
  read -r -a camtag_args_out < <(camtag_encoding 0 | sed -n 3p)
}
