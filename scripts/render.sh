#!/usr/bin/env bash
# Stamps every frame of DV files with the Camtag module, exactly as Premiere would call it, and
# writes videos (H.264 + AAC with the original sound) or a folder of PNG frames.
#
#   scripts/render.sh                            the sample clip -> out/sample.mp4, out/sample-frame.png
#   scripts/render.sh INPUT... OUTPUT [options]  see scripts/render.sh --help
#
# It builds what is missing (the x86_64 module and its Windows programs in build/x86_64, the
# Linux front in build/native), starts the renderer's Wine session and hands over to
# `camtag render`, which plans the outputs, runs ffmpeg and the module and checks every step.
# CAMTAG_BUILD_DIR=DIR uses another x86_64 build tree; CAMTAG_NO_BUILD=1 uses the trees as they
# are; CAMTAG_RENDER_PREFIX=DIR another Wine prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
die() { echo "render: $*" >&2; exit 1; }

build=${CAMTAG_BUILD_DIR:-$root/build/x86_64}
source "$root/scripts/build-env.sh"
CAMTAG_BUILD_NOTE="render: building the module and the renderer" camtag_build "$build" fl-Camtag camtag-render camtag-probe ||
  die "the build failed"
CAMTAG_BUILD_NOTE="render: building the renderer's front" camtag_build_front || die "the build failed"
front=$camtag_front_dir/camtag
[ -x "$front" ] || die "the build made no $front"

# Without arguments: the sample clip, which is ours to write again.
[ $# -gt 0 ] || set -- "$root/samples/ntsc-camcorder.avi" "$root/out/sample.mp4" --still "$root/out/sample-frame.png" --overwrite

# One Wine session for everything: runs side by side share the prefix's server, which ends by
# itself after the last one (the front starts it).
source "$root/scripts/wine-env.sh"
camtag_use_render_prefix "$build"
CAMTAG_BOOT_NOTE="render: preparing the Wine prefix (first run only)" camtag_wine_start_for_front ||
  die "Wine did not start"
export CAMTAG_BUILD_DIR=$build CAMTAG_WINE64 CAMTAG_WINESERVER
exec "$front" render "$@"
