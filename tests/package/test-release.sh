#!/usr/bin/env bash
# The release package as scripts/package.sh makes it from the 32-bit build: only for a module
# with a passing 32-bit run on record; a zip and the 32-bit installer named with the module's
# version, each holding exactly the files it should, the module stripped (its code and resources
# as built, its debug information beside the build under the name its debug link gives) and the
# help file as built; 7-Zip reads both.
#   test-release.sh I686_BUILD_DIR PROJECT_VERSION
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$1
version=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# The names in an archive, one a line, without the installer's own plug-in files.
names() { 7z l -slt -ba "$1" | tr -d '\r' | sed -n 's/^Path = //p' | grep -v '^\$PLUGINSDIR' | sort; }

work=$(mktemp -d "${TMPDIR:-/tmp}/camtag-release.XXXXXX")
trap 'rm -rf "$work"' EXIT
module=$build/src/host/fl-Camtag.prm
help=$build/docs/help/Camtag.chm
export CAMTAG_PACKAGE_BUILD=$build CAMTAG_PACKAGE_RECORD=$work/passed
# No passing run on record for this module (another module's is): no package.
echo "$(printf 0 | sha256sum | cut -d' ' -f1) 0000000" >"$CAMTAG_PACKAGE_RECORD"
if bash "$root/scripts/package.sh" --recorded-only "$work/dist" >"$work/log" 2>&1; then
  fail "package.sh made a package of a module without a passing 32-bit run"
fi
grep -q 'no passing run of scripts/test-i686.sh' "$work/log" || fail "package.sh refused without saying why: $(cat "$work/log")"
[ -z "$(ls -A "$work/dist" 2>/dev/null)" ] || fail "a refused package left files: $(ls "$work/dist")"
echo "$(sha256sum "$module" | cut -d' ' -f1) 0000000" >>"$CAMTAG_PACKAGE_RECORD"
bash "$root/scripts/package.sh" --recorded-only "$work/dist" >"$work/log" 2>&1 || {
  cat "$work/log"
  echo "FAIL: package.sh"
  exit 1
}
zip=$work/dist/Camtag-$version.zip
setup=$work/dist/Camtag-$version-setup.exe
listed=$(ls "$work/dist" | tr '\n' ' ')
[ "$listed" = "Camtag-$version-setup.exe Camtag-$version.zip " ] || fail "dist holds: $listed"

expected=$(printf '%s\n' "Camtag-$version" "Camtag-$version/Camtag.chm" "Camtag-$version/LICENSE.txt" \
  "Camtag-$version/README.txt" "Camtag-$version/fl-Camtag.prm" | sort)
[ "$(names "$zip")" = "$expected" ] || fail "zip holds: $(names "$zip" | tr '\n' ' ')"
mkdir "$work/zip" && 7z x -bd -bso0 -o"$work/zip" "$zip" >/dev/null
shipped=$work/zip/Camtag-$version/fl-Camtag.prm
# What the loader maps is the module as built; nothing else of the build's file is left.
objcopy=i686-w64-mingw32-objcopy
for section in .text .rdata .data .rsrc .edata .idata .reloc; do
  $objcopy -O binary --only-section=$section "$module" "$work/built.bin"
  $objcopy -O binary --only-section=$section "$shipped" "$work/shipped.bin"
  [ -s "$work/built.bin" ] && cmp -s "$work/built.bin" "$work/shipped.bin" || fail "zip: section $section is not the module's as built"
done
sections=$(i686-w64-mingw32-objdump -h "$shipped" | awk '$1 ~ /^[0-9]+$/ {print $2}' | tr '\n' ' ')
case "$sections" in *.debug_* | *.stab*) fail "zip: the module keeps debug sections: $sections" ;; esac
i686-w64-mingw32-objdump -t "$shipped" | grep -q '_xFilter' && fail "zip: the module keeps its symbol table"
# The debug link: the name of the debug file beside the build, and that file's CRC-32.
$objcopy --dump-section .gnu_debuglink="$work/link" "$shipped" "$work/junk" || fail "zip: no debug link"
python3 - "$work/link" "$module.debug" <<'PY' || fail "zip: the debug link does not name fl-Camtag.prm.debug beside the build"
import struct, sys, zlib
link = open(sys.argv[1], "rb").read()
name = link[:link.index(b"\0")]
crc = struct.unpack_from("<I", link, len(link) - 4)[0]
sys.exit(name != b"fl-Camtag.prm.debug" or crc != zlib.crc32(open(sys.argv[2], "rb").read()))
PY
grep -q '^ *[0-9]* \.debug_info' <(i686-w64-mingw32-objdump -h "$module.debug") || fail "fl-Camtag.prm.debug holds no debug information"
cmp -s "$help" "$work/zip/Camtag-$version/Camtag.chm" || fail "zip: Camtag.chm is not the help file as built"
readme=$work/zip/Camtag-$version/README.txt
grep -q "Camtag $version:" "$readme" || fail "README.txt does not name version $version"
grep -q '@VERSION@' "$readme" && fail "README.txt keeps a placeholder"
[ "$(grep -c $'\r$' "$readme")" = "$(wc -l <"$readme")" ] || fail "README.txt lines do not end in CR LF"
grep -q 'MIT License' "$work/zip/Camtag-$version/LICENSE.txt" || fail "no licence text"

# The installer: the two product files (and the uninstaller it writes), a 32-bit installer.
expected=$(printf '%s\n' Camtag-uninstall.exe Camtag.chm fl-Camtag.prm | sort)
[ "$(names "$setup")" = "$expected" ] || fail "installer holds: $(names "$setup" | tr '\n' ' ')"
7z l "$setup" | grep -q '^SubType = NSIS-3 Unicode$' || fail "not a 32-bit NSIS installer: $(7z l "$setup" | grep SubType)"
mkdir "$work/setup" && 7z x -bd -bso0 -o"$work/setup" "$setup" fl-Camtag.prm Camtag.chm >/dev/null
cmp -s "$shipped" "$work/setup/fl-Camtag.prm" || fail "installer: fl-Camtag.prm is not the module of the zip"
cmp -s "$help" "$work/setup/Camtag.chm" || fail "installer: Camtag.chm is not the help file as built"

[ "$failures" = 0 ] && echo "release: Camtag-$version.zip and Camtag-$version-setup.exe hold the product as built, stripped"
exit $((failures > 0))
