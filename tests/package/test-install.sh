#!/usr/bin/env bash
# The installer as a user runs it unattended, built for amd64 from this build's module and help
# file and run under wine64: a silent install into a new folder puts both files and the
# uninstaller there and registers it; an older or equal module in the folder is replaced, a
# newer one stays and the install fails; the silent uninstall leaves neither files, folder nor
# registration behind.
#   test-install.sh MODULE HELP [SETUP.exe [RUN...]]
# With SETUP (scripts/test-i686.sh: the shipped x86 installer, which holds MODULE and HELP), that
# installer is run, with RUN... as the command that runs a Windows program (default: wine64 in
# the test build's prefix): the install, the registration and the uninstall; the rules for a
# module already in the folder are the installer script's, tested with the amd64 build.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
module=$(realpath "$1")
help=$(realpath "$2")
shipped=${3:+$(realpath "$3")}
run=("${@:4}")
[ ${#run[@]} -gt 0 ] || run=("$root/scripts/wine-run.sh")
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Camtag'
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
winpath() { printf 'Z:%s' "${1//\//\\}"; }
version() { x86_64-w64-mingw32-windres -i "$1" -O rc | sed -n 's/^ *FILEVERSION \([0-9]*\), *\([0-9]*\), *\([0-9]*\), *\([0-9]*\).*/\1.\2.\3.\4/p' | head -n 1; }
# Runs the installer silently into a folder. NSIS takes everything after "/D=" as the folder,
# unquoted: the words go as separate arguments, which Wine joins with single spaces.
install_into() {
  local words
  set -f
  read -r -a words <<<"/D=$(winpath "$1")"
  set +f
  "${run[@]}" "$(winpath "$setup")" /S "${words[@]}" >/dev/null 2>&1
}
registered() { "${run[@]}" reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z]* *//p"; }

work=$(mktemp -d "${TMPDIR:-/tmp}/camtag-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
setup=${shipped:-$work/Camtag-amd64-setup.exe}
if [ -z "$shipped" ]; then
  makensis -V2 -DARCH=amd64 -DMODULE="$module" -DHELP="$help" -DLICENSE="$root/LICENSE" \
    -DOUTFILE="$setup" "$root/packaging/Camtag.nsi" >/dev/null || { echo "FAIL: makensis"; exit 1; }
fi
new=$(version "$module")
"${run[@]}" reg delete "$key" /f >/dev/null 2>&1

# A silent install into a new folder (with a space in its name, as "Plug-ins" folders have).
target="$work/Adobe Premiere Pro CS3/Plug-ins"
install_into "$target"
status=$?
[ "$status" = 0 ] || fail "install exit status $status"
cmp -s "$module" "$target/fl-Camtag.prm" || fail "fl-Camtag.prm not installed as built"
cmp -s "$help" "$target/Camtag.chm" || fail "Camtag.chm not installed as built"
[ -f "$target/Camtag-uninstall.exe" ] || fail "no uninstaller in the folder"
found=$(ls -A "$target" | sort | tr '\n' ' ')
[ "$found" = "Camtag-uninstall.exe Camtag.chm fl-Camtag.prm " ] || fail "folder holds: $found"
[ "$(registered InstallLocation)" = "$(winpath "$target")" ] || fail "InstallLocation: $(registered InstallLocation)"
[ "$(registered DisplayVersion)" = "$new" ] || fail "DisplayVersion: $(registered DisplayVersion), module $new"
[ "$(registered UninstallString)" = "\"$(winpath "$target")\\Camtag-uninstall.exe\"" ] ||
  fail "UninstallString: $(registered UninstallString)"

# A module already in the folder: older and equal ones are replaced, a newer one stays.
IFS=. read -r major minor patch build <<<"$new"
[ -n "$shipped" ] || while read -r installed expect_status expect_kept; do
  folder="$work/over-$installed"
  mkdir -p "$folder"
  python3 "$here/set-version.py" "$module" "$folder/fl-Camtag.prm" "$installed"
  cp "$folder/fl-Camtag.prm" "$work/before.prm"
  install_into "$folder"
  status=$?
  [ "$status" = "$expect_status" ] || fail "over $installed: exit status $status, expected $expect_status"
  if [ "$expect_kept" = kept ]; then
    cmp -s "$work/before.prm" "$folder/fl-Camtag.prm" || fail "over $installed: the newer module was replaced"
    [ ! -e "$folder/Camtag.chm" ] || fail "over $installed: files were written after all"
  else
    cmp -s "$module" "$folder/fl-Camtag.prm" || fail "over $installed: the module was not replaced"
  fi
  rm -rf "$folder"
done <<EOF_CASES
$major.$minor.$patch.$((build - 1)) 0 replaced
$((major - 1)).99.99.99 0 replaced
$new 0 replaced
$major.$minor.$patch.$((build + 1)) 2 kept
$((major + 1)).0.0.0 2 kept
EOF_CASES

# The registration now names the last folder that was installed into: install there again to
# uninstall the first folder through its own uninstaller.
[ -n "$shipped" ] || install_into "$target" || fail "reinstall"
# The uninstaller copies itself away and runs from there, so that it can delete itself: wait
# for it.
"${run[@]}" "$(winpath "$target/Camtag-uninstall.exe")" /S >/dev/null 2>&1 || fail "uninstall exit status $?"
for _ in $(seq 1 150); do
  [ -e "$target" ] || break
  sleep 0.2
done
[ ! -e "$target" ] || fail "left after uninstall: $(ls -A "$target" | tr '\n' ' ')"
[ -d "$work/Adobe Premiere Pro CS3" ] || fail "the uninstaller removed the folder above the plug-ins folder"
for _ in $(seq 1 50); do
  "${run[@]}" reg query "$key" >/dev/null 2>&1 || break
  sleep 0.2
done
"${run[@]}" reg query "$key" >/dev/null 2>&1 && fail "the uninstall registration is left"

checked="install, upgrade rules and uninstall"
[ -z "$shipped" ] || checked="install and uninstall of $(basename "$shipped")"
[ "$failures" = 0 ] && echo "installer: $checked as expected"
exit $((failures > 0))
