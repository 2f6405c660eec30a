#!/usr/bin/env bash
# Builds the release package of the 32-bit product into dist/ (or OUT_FOLDER):
#   Camtag-VERSION.zip         fl-Camtag.prm, Camtag.chm, README.txt, LICENSE.txt
#   Camtag-VERSION-setup.exe   the NSIS installer of fl-Camtag.prm and Camtag.chm
# VERSION is the module's version resource (from the project version in CMakeLists.txt).
#   bash scripts/package.sh [--recorded-only] [OUT_FOLDER]
#
# Only a module that passed scripts/test-i686.sh ships: unless a passing run of this very module
# (its SHA-256) is recorded in BUILD/test-i686.passed, where each passing run records itself (it
# is part of scripts/test.sh), the script runs test-i686.sh first; --recorded-only refuses
# instead of running it (CAMTAG_PACKAGE_RECORD names another record). The module ships
# stripped; its debug information stays beside the build as fl-Camtag.prm.debug, which the
# shipped module names in its .gnu_debuglink.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
recorded_only=0
if [ "${1:-}" = --recorded-only ]; then
  recorded_only=1
  shift
fi
out=$(realpath -m "${1:-$root/dist}")
build=$(realpath -m "${CAMTAG_PACKAGE_BUILD:-$root/build/i686}")
record=${CAMTAG_PACKAGE_RECORD:-$build/test-i686.passed}
cd "$root"
bash scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)
# The toolchain is named only to a new tree (cmake warns when an existing one is told again).
if [ -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" >/dev/null
else
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
fi
cmake --build "$build" --target fl-Camtag camtag_help -j"$jobs"
module=$build/src/host/fl-Camtag.prm
help=$build/docs/help/Camtag.chm

module_hash() { sha256sum "$module" | cut -d' ' -f1; }
passed() { [ -f "$record" ] && grep -q "^$(module_hash) " "$record"; }
if ! passed; then
  if [ $recorded_only = 1 ] || [ "$build" != "$root/build/i686" ]; then
    echo "package: no passing run of scripts/test-i686.sh is recorded for $module (in $record)" >&2
    exit 1
  fi
  echo "package: running scripts/test-i686.sh on the module first" >&2
  bash scripts/test-i686.sh || { echo "package: scripts/test-i686.sh failed: no package" >&2; exit 1; }
  # The run builds the tree itself and records the module it ran, which is what ships.
  if ! passed; then
    echo "package: scripts/test-i686.sh recorded no pass for $module (in $record)" >&2
    exit 1
  fi
fi

# The shipped module without its debug sections and symbols, which stay beside the build.
debug=$module.debug
i686-w64-mingw32-objcopy --only-keep-debug "$module" "$debug"

# The version as the module file carries it (the installer reads the same resource).
version=$(i686-w64-mingw32-windres -i "$module" -O rc |
  sed -n 's/^ *FILEVERSION \([0-9]*\), *\([0-9]*\), *\([0-9]*\), *\([0-9]*\).*/\1.\2.\3.\4/p' | head -n 1)
if [ -z "$version" ]; then
  echo "package: no version resource in $module" >&2
  exit 1
fi

mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stripped=$work/stripped/fl-Camtag.prm
mkdir "$work/stripped"
i686-w64-mingw32-objcopy --strip-all --add-gnu-debuglink="$debug" "$module" "$stripped"
zip_name=Camtag-$version.zip
setup_name=Camtag-$version-setup.exe

# The zip: Windows text files (CRLF), the stripped module and the help file.
mkdir "$work/Camtag-$version"
cp "$stripped" "$help" "$work/Camtag-$version/"
sed "s/@VERSION@/$version/g; s/\$/\r/" packaging/README.txt >"$work/Camtag-$version/README.txt"
sed 's/$/\r/' LICENSE >"$work/Camtag-$version/LICENSE.txt"
rm -f "$out/$zip_name"
(cd "$work" && 7z a -tzip -bd -bso0 "$out/$zip_name" "Camtag-$version" >/dev/null)

makensis -V2 -DARCH=x86 -DMODULE="$stripped" -DHELP="$help" -DLICENSE="$root/LICENSE" \
  -DOUTFILE="$out/$setup_name" packaging/Camtag.nsi >/dev/null

echo "package: $out/$zip_name" >&2
echo "package: $out/$setup_name" >&2
echo "package: debug information of the shipped module in $debug" >&2
