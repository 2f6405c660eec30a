#!/usr/bin/env bash
# Calls the module's execute selector many times under wine64 through the host emulator
# (tools/dev/soak): both modes, fields of both parities, settings changed before every call, a source
# that vanishes, comes back, is truncated and is held open by a writer. Prints the process's
# handles, objects and memory per 10,000 calls and fails when any of them grows.
#
#   bash scripts/soak.sh [--calls N]      (default 100000; a multiple of 1000)
#
# Builds build/x86_64 (module and soak) if needed; the source file goes to build/x86_64/soak-data.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
calls=100000
[ "${1:-}" = --calls ] && calls=${2:?--calls needs a value}

build=${CAMTAG_BUILD_DIR:-$root/build/x86_64}
source "$root/scripts/build-env.sh"
camtag_build "$build" fl-Camtag soak || exit 1

winpath() { printf 'Z:%s' "${1//\//\\}"; }
export WINEPREFIX=$build/wineprefix-soak
source "$root/scripts/wine-env.sh"
trap camtag_wine_stop EXIT
camtag_wine_start

echo "== soak: $calls execute calls under wine64 ($(uptime | sed 's/.*load/load/'))"
nice -n 10 "$CAMTAG_WINE64" "$build/tools/soak/soak.exe" \
  --module "$(winpath "$build/src/host/fl-Camtag.prm")" \
  --template "$(winpath "$root/tests/data/pal-type2-idx1-ffmpeg.avi")" \
  --work "$(winpath "$build/soak-data")" --calls "$calls" </dev/null
