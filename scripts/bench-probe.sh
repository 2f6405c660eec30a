#!/usr/bin/env bash
# Times camtag-probe on a one-hour PAL tape (90,000 frames, four recordings, a recording date,
# time and timecode in every frame), as a user runs it (scripts/camtag-probe, Wine's server
# already up): the recordings (--breaks), the subtitles (--srt) and the frame table.
#
#   bash scripts/bench-probe.sh [--runs N]
#
# The tape, build/x86_64/bench-data/tape-1h.avi, is written once by tools/dev/bench-tape as a sparse
# file: 13 GB long, about 400 MB on disk (only the packs of each frame are data).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=3
if [ "${1:-}" = --runs ]; then
  runs=${2:?--runs needs a value}
  [[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "bench-probe: --runs $runs: expected a positive number" >&2; exit 1; }
fi
build=${CAMTAG_BUILD_DIR:-$root/build/x86_64}
source "$root/scripts/build-env.sh"
camtag_build "$build" camtag-probe bench-tape || exit 1
tape=$build/bench-data/tape-1h.avi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ ! -f "$tape" ]; then
  echo "== making $tape" >&2
  mkdir -p "$(dirname "$tape")"
  WINEPREFIX=$build/wineprefix-bench "$root/scripts/wine-run.sh" "$build/tools/bench-tape/bench-tape.exe" \
    "Z:${tape//\//\\}.part" 60
  mv "$tape.part" "$tape"
fi
probe() { CAMTAG_NO_BUILD=1 bash "$root/scripts/camtag-probe" "$@"; }

# What the tape holds must come out: four recordings, a cue for every second.
probe --breaks "$tape" >"$work/breaks"
[ "$(wc -l <"$work/breaks")" = 4 ] || { echo "bench-probe: expected 4 recordings:" >&2; cat "$work/breaks" >&2; exit 1; }
probe --srt "$work/tape.srt" "$tape"
cues=$(grep -c -- ' --> ' "$work/tape.srt")
[ "$cues" = 3600 ] || { echo "bench-probe: expected 3600 cues, got $cues" >&2; exit 1; }
tail -4 "$work/tape.srt" | head -2 | sed 's/^/   last cue: /' >&2

measure() {
  local TIMEFORMAT='%R %U %S'
  { time "$@" >/dev/null 2>&1; } 2>"$work/time"
  awk '{ printf "%.2f %.2f\n", $1, $2 + $3 }' "$work/time"
}
median() { tr ' ' '\n' | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
echo "== load before: $(uptime | sed 's/.*load average/load average/')"
for what in breaks srt table; do
  walls=() cpus=()
  for ((i = 1; i <= runs; i++)); do
    case $what in
      breaks) read -r wall cpu < <(measure probe --breaks "$tape") ;;
      srt) read -r wall cpu < <(measure probe --srt "$work/tape.srt" "$tape") ;;
      table) read -r wall cpu < <(measure probe "$tape") ;;
    esac
    walls+=("$wall") cpus+=("$cpu")
  done
  printf '== %-6s %.2f s (processor %.2f s), median of %d\n' "$what" "$(echo "${walls[*]}" | median)" \
    "$(echo "${cpus[*]}" | median)" "$runs"
done
echo "== load after: $(uptime | sed 's/.*load average/load average/')"
