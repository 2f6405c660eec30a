#!/usr/bin/env bash
# The release package as scripts/package.sh makes it from the 32-bit build: a zip and the
# 32-bit installer named with the module's version, each holding exactly the files it should,
# the product files as built; 7-Zip reads both.
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
CAMTAG_PACKAGE_BUILD=$build bash "$root/scripts/package.sh" "$work/dist" >"$work/log" 2>&1 || {
  cat "$work/log"
  echo "FAIL: package.sh"
  exit 1
}
module=$build/src/host/fl-Camtag.prm
help=$build/docs/help/Camtag.chm
zip=$work/dist/Camtag-$version.zip
setup=$work/dist/Camtag-$version-setup.exe
listed=$(ls "$work/dist" | tr '\n' ' ')
[ "$listed" = "Camtag-$version-setup.exe Camtag-$version.zip " ] || fail "dist holds: $listed"

expected=$(printf '%s\n' "Camtag-$version" "Camtag-$version/Camtag.chm" "Camtag-$version/LICENSE.txt" \
  "Camtag-$version/README.txt" "Camtag-$version/fl-Camtag.prm" | sort)
[ "$(names "$zip")" = "$expected" ] || fail "zip holds: $(names "$zip" | tr '\n' ' ')"
mkdir "$work/zip" && 7z x -bd -bso0 -o"$work/zip" "$zip" >/dev/null
cmp -s "$module" "$work/zip/Camtag-$version/fl-Camtag.prm" || fail "zip: fl-Camtag.prm is not the 32-bit module as built"
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
cmp -s "$module" "$work/setup/fl-Camtag.prm" || fail "installer: fl-Camtag.prm is not the 32-bit module as built"
cmp -s "$help" "$work/setup/Camtag.chm" || fail "installer: Camtag.chm is not the help file as built"

[ "$failures" = 0 ] && echo "release: Camtag-$version.zip and Camtag-$version-setup.exe hold the product as built"
exit $((failures > 0))
