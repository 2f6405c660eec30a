#!/usr/bin/env bash
# Native fuzzing of the DV reader, the DV pack decoding and the overlay text composition
# (tests/fuzz), with libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer.
#
#   scripts/fuzz.sh [SECONDS]          every harness for SECONDS (default 60) on the kept corpus
#                                      build/fuzz/corpus/HARNESS, growing it
#   scripts/fuzz.sh --ci [SECONDS]     the saved regression inputs once, then every harness for
#                                      SECONDS (default 20) from the seeds on a fresh corpus
#   scripts/fuzz.sh --only HARNESS ... one harness (avi-file, dif-sequence, overlay-text)
#   scripts/fuzz.sh --build            build only
#   scripts/fuzz.sh --coverage         lines of src/timecode, src/dv and src/text the corpus covers
#
# A crash, leak, sanitizer report or an input running over 1 s stops the run with status 1; the
# input is kept in build/fuzz/findings. Once fixed, it belongs in tests/fuzz/regressions/HARNESS.
# The fuzzers run at low priority on a shared machine, where a process can wait a second for the
# processor: an input that took over 1 s there is run again alone, and only one that is slow on
# its own is a finding (the others go to build/fuzz/findings/stalled).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

mode=fuzz
seconds=""
harnesses=(avi-file dif-sequence overlay-text)
while [ $# -gt 0 ]; do
  case "$1" in
    --ci) mode=ci ;;
    --build) mode=build ;;
    --coverage) mode=coverage ;;
    --only) shift; harnesses=("$1") ;;
    [0-9]*) seconds=$1 ;;
    *) sed -n '2,15p' "$0" >&2; exit 2 ;;
  esac
  shift
done
[ -n "$seconds" ] || { [ "$mode" = ci ] && seconds=20 || seconds=60; }

bash scripts/setup.sh fuzz
export CC=clang-14 CXX=clang++-14
jobs=$(nproc 2>/dev/null || echo 2)
fuzz_dir=tests/fuzz
build=build/fuzz

build_tree() { # DIR [cmake options]
  local dir=$1
  shift
  cmake -S "$fuzz_dir/native" -B "$dir" "$@" >/dev/null
  nice -n 10 cmake --build "$dir" -j"$jobs" >/dev/null
}

# The saved regression inputs of a harness, if it has any.
regressions_of() { [ -d "$fuzz_dir/regressions/$1" ] && echo "$fuzz_dir/regressions/$1" || true; }

dict_of() { [ "$1" = overlay-text ] && echo "$fuzz_dir/text.dict" || echo "$fuzz_dir/avi.dict"; }

# Seeds are generated anew each time: the AVI writer's layouts, the fixtures, their sequences,
# with the few small ones kept in tests/fuzz/seeds.
make_seeds() {
  rm -rf "$build/seeds"
  mkdir -p "$build/seeds/avi-file" "$build/seeds/dif-sequence" "$build/seeds/overlay-text"
  "$build/make-seeds" "$build/seeds" tests/data >/dev/null
  cp tests/data/*.avi "$build/seeds/avi-file/"
  local h
  for h in avi-file dif-sequence overlay-text; do cp "$fuzz_dir/seeds/$h"/* "$build/seeds/$h/"; done
}

build_tree "$build"
[ "$mode" = build ] && exit 0

if [ "$mode" = coverage ]; then
  cov=build/fuzz-coverage
  build_tree "$cov" -DCAMTAG_FUZZ_COVERAGE=ON
  make_seeds
  rm -rf "$cov/profiles"
  mkdir -p "$cov/profiles"
  objects=()
  for h in "${harnesses[@]}"; do
    mkdir -p "$build/corpus/$h"
    LLVM_PROFILE_FILE="$cov/profiles/$h.profraw" "$cov/fuzz-$h" -runs=0 \
      "$build/corpus/$h" "$build/seeds/$h" $(regressions_of "$h") >/dev/null 2>&1
    objects+=(-object "$cov/fuzz-$h")
  done
  llvm-profdata-14 merge -sparse "$cov"/profiles/*.profraw -o "$cov/fuzz.profdata"
  llvm-cov-14 report "${objects[@]:1}" -instr-profile="$cov/fuzz.profdata" \
    "$root/src/timecode" "$root/src/dv" "$root/src/text"
  exit 0
fi

# Inputs of this run that took over 1 s: a hang only when they do alone, at normal priority.
recheck_slow() {
  local h=$1 unit hang=0
  mkdir -p "$build/findings/stalled"
  for unit in $(find "$build/findings" -maxdepth 1 -newer "$build/$h.started" \
      \( -name "$h-slow-unit-*" -o -name "$h-timeout-*" \)); do
    if timeout 60 "$build/fuzz-$h" -timeout=1 -runs=1 "$unit" >"$unit.recheck.log" 2>&1; then
      mv "$unit" "$unit.recheck.log" "$build/findings/stalled/"
    else
      echo "fuzz: $h: $unit runs over 1 s on its own: a hang" >&2
      hang=1
    fi
  done
  return $hang
}

make_seeds
mkdir -p "$build/findings"
status=0
summary=""
for h in "${harnesses[@]}"; do
  if [ "$mode" = ci ]; then
    # The saved inputs first: each must run clean.
    if [ -n "$(regressions_of "$h")" ] &&
        ! "$build/fuzz-$h" -runs=0 "$(regressions_of "$h")" >"$build/$h-replay.log" 2>&1; then
      echo "fuzz: $h: a regression input fails again; see $build/$h-replay.log" >&2
      tail -30 "$build/$h-replay.log" >&2
      status=1
      continue
    fi
    corpus=$(mktemp -d "$root/$build/ci-corpus-$h.XXXX")
  else
    corpus="$build/corpus/$h"
    mkdir -p "$corpus"
  fi
  log="$build/$h.log"
  touch "$build/$h.started"
  if ! nice -n 10 "$build/fuzz-$h" -dict="$(dict_of "$h")" -max_total_time="$seconds" -timeout=10 \
      -report_slow_units=1 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/findings/$h-" \
      "$corpus" "$build/seeds/$h" $(regressions_of "$h") >"$log" 2>&1; then
    if grep -q "ERROR: libFuzzer: timeout" "$log"; then
      echo "fuzz: $h: stopped by an input running over 10 s (checked alone below)" >&2
    else
      echo "fuzz: $h: finding; the input is in $build/findings, the report in $log" >&2
      grep -E "ERROR|SUMMARY|finding:|runtime error|Test unit written" "$log" | head -20 >&2 || true
      status=1
    fi
  fi
  recheck_slow "$h" || status=1
  [ "$mode" = ci ] && rm -rf "$corpus"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
  cover=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  summary+=$(printf '%-14s %12s runs in %5s s, %s edges' "$h" "${runs:-?}" "${took:-?}" "${cover:-?}")$'\n'
done
printf '%s' "$summary"
exit $status
