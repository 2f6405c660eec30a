#!/usr/bin/env bash
# Builds the 32-bit product and the x86_64 test build, runs every test under wine64, then the
# shipped 32-bit files under 32-bit Wine (scripts/test-i686.sh, which records a pass for
# scripts/package.sh).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
# The sources must match .clang-format before anything is built.
bash scripts/check-format.sh

jobs=$(nproc 2>/dev/null || echo 2)
# The toolchain is named only to a new tree: an existing one has it (and cmake warns of a repeat).
toolchain() { [ -f "$1/CMakeCache.txt" ] || echo "-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$2.cmake"; }
# With the test programs scripts/test-i686.sh runs on the module.
cmake -S . -B build/i686 $(toolchain build/i686 i686) -DCAMTAG_SMOKE=ON >/dev/null
cmake --build build/i686 -j"$jobs"
cmake -S . -B build/x86_64 $(toolchain build/x86_64 x86_64) -DCAMTAG_TESTS=ON >/dev/null
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

bash scripts/test-i686.sh
