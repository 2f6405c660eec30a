# Sourced by render.sh and by the pipeline benchmark: how a video is encoded, so that the
# benchmark's plain transcode encodes exactly as render.sh does.
#
#   camtag_picture_filter DEINTERLACE  the filters between the picture and the encoder. DV's
#                                      fields are bottom first (PAL and NTSC alike): they are
#                                      marked so and kept, or with DEINTERLACE=1 woven into
#                                      progressive frames by bwdif, for screens
#   camtag_video_args ARRAY DEINTERLACE
#                                      H.264 (libx264 medium, CRF 18, 4:2:0), interlaced bottom
#                                      field first unless deinterlaced
#   camtag_audio_args ARRAY            AAC at 192 kbit/s

camtag_picture_filter() {
  if [ "$1" = 1 ]; then
    echo "setfield=bff,bwdif=mode=send_frame:parity=bff:deint=all"
  else
    echo "setfield=bff"
  fi
}

camtag_video_args() {
  local -n camtag_args_out=$1
  camtag_args_out=(-c:v libx264 -preset medium -crf 18 -pix_fmt yuv420p)
  [ "$2" = 1 ] || camtag_args_out+=(-flags +ildct+ilme -x264-params bff=1)
}

camtag_audio_args() {
  local -n camtag_args_out=$1
  camtag_args_out=(-c:a aac -b:a 192k)
}
