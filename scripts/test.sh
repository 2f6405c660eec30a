#!/usr/bin/env bash
# Builds the 32-bit product and the x86_64 test build, then runs every test under wine64.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build/i686 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build build/i686 -j"$jobs"
cmake -S . -B build/x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCAMTAG_TESTS=ON >/dev/null
cmake --build build/x86_64 -j"$jobs"
# The native fuzzers (tests/fuzz), which ctest runs briefly as fuzz_native.
bash scripts/fuzz.sh --build
# The tools' Linux front (tools/apps/camtag) and its unit tests, with the host compiler.
cmake -S tools/apps/camtag -B build/native -DCAMTAG_FRONT_TESTS=ON >/dev/null
cmake --build build/native -j"$jobs"
ctest --test-dir build/native --output-on-failure "$@"

source scripts/wine-env.sh
trap camtag_wine_stop EXIT
camtag_wine_start
ctest --test-dir build/x86_64 --output-on-failure -j"$jobs" "$@"
