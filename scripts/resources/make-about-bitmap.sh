#!/usr/bin/env bash
# Writes the About box's picture (src/resources/about.bmp): the stamped sample frame that
# render.sh makes (docs/sample-frame.png), at 230 x 176 with a 256-colour palette.
#   bash scripts/resources/make-about-bitmap.sh [FRAME.png]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
frame=${1:-$root/docs/sample-frame.png}
ffmpeg -nostdin -v error -y -i "$frame" \
  -vf "scale=230:176:flags=lanczos,split[a][b];[a]palettegen=max_colors=256[p];[b][p]paletteuse=dither=none" \
  -pix_fmt pal8 "$root/src/resources/about.bmp"
