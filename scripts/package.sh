#!/usr/bin/env bash
# Builds the release package of the 32-bit product into dist/ (or OUT_FOLDER):
#   Camtag-VERSION.zip         fl-Camtag.prm, Camtag.chm, README.txt, LICENSE.txt
#   Camtag-VERSION-setup.exe   the NSIS installer of fl-Camtag.prm and Camtag.chm
# VERSION is the module's version resource (from the project version in CMakeLists.txt).
#   bash scripts/package.sh [OUT_FOLDER]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/dist}")
build=${CAMTAG_PACKAGE_BUILD:-$root/build/i686}
cd "$root"
bash scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build "$build" --target fl-Camtag camtag_help -j"$jobs"
module=$build/src/host/fl-Camtag.prm
help=$build/docs/help/Camtag.chm

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
zip_name=Camtag-$version.zip
setup_name=Camtag-$version-setup.exe

# The zip: Windows text files (CRLF), the two product files as built.
mkdir "$work/Camtag-$version"
cp "$module" "$help" "$work/Camtag-$version/"
sed "s/@VERSION@/$version/g; s/\$/\r/" packaging/README.txt >"$work/Camtag-$version/README.txt"
sed 's/$/\r/' LICENSE >"$work/Camtag-$version/LICENSE.txt"
rm -f "$out/$zip_name"
(cd "$work" && 7z a -tzip -bd -bso0 "$out/$zip_name" "Camtag-$version" >/dev/null)

makensis -V2 -DARCH=x86 -DMODULE="$module" -DHELP="$help" -DLICENSE="$root/LICENSE" \
  -DOUTFILE="$out/$setup_name" packaging/Camtag.nsi >/dev/null

echo "package: $out/$zip_name" >&2
echo "package: $out/$setup_name" >&2
