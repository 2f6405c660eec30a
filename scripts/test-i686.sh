#!/usr/bin/env bash
# Runs the shipped 32-bit module under 32-bit Wine, each part against what the x86_64 build
# does: the i686 build of tests/module_smoke loads the i686 fl-Camtag.prm and compares
# everything xFilter returns with what the x86_64 build returns for the same calls (written by
# the ctest test module_smoke_reference); dialog tests of tests/ui, built for i686, open the
# settings dialog through the i686 module's setup with the expectations they hold on x86_64;
# the i686 camtag-render stamps DV fixtures, frame for frame equal to the x86_64 frames; the
# shipped x86 installer installs into a folder with a space in its name and uninstalls cleanly.
#
# This machine's kernel runs no 32-bit Linux programs, so 32-bit Wine runs through user-mode
# qemu: an i386 Debian tree with wine32 (made once by mmdebstrap), entered inside a user, mount
# and pid namespace whose private binfmt_misc hands 32-bit ELF files to qemu-i386. The qemu is
# Debian trixie's qemu-user-static: bookworm's 7.2 spends about a minute of CPU starting each
# Windows process (README). The Wine prefix lives in the tree. One Wine session serves the
# whole run: a persistent wineserver, booted once, with the services the test does not need
# disabled and no debugger started on a crash.
#
# Tree, prefix and qemu are made once per machine and shared by every clone on it (CI clones
# afresh for each run): in $CAMTAG_I686_CACHE, else /var/cache/camtag-i686 for root, else
# ${XDG_CACHE_HOME:-~/.cache}/camtag-i686. One run at a time uses them (the prefix has one
# registry); a second waits for the first.
#
#   scripts/test-i686.sh           prepare what is missing, then run
#   scripts/test-i686.sh --fresh   make the tree and the prefix anew first
#
# Exit status 0 when the module passed; a pass is recorded for the module's SHA-256 in
# build/i686/test-i686.passed (or $CAMTAG_PACKAGE_RECORD), where scripts/package.sh looks for it.
# What the parts ran on and made stays in build/i686/test-i686.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
if [ -n "${CAMTAG_I686_CACHE:-}" ]; then
  state=$CAMTAG_I686_CACHE
elif [ "$(id -u)" = 0 ]; then
  state=/var/cache/camtag-i686
else
  state=${XDG_CACHE_HOME:-$HOME/.cache}/camtag-i686
fi
# Inside the user namespace everyone is root: the run inside must use the folder found outside.
export CAMTAG_I686_CACHE=$state
tree=$state/root
qemu=$state/qemu-i386
prefix_marker=$tree/wineprefix/.camtag-prepared
# What the tree holds; a change of this list makes a new tree.
tree_packages="wine32,libc-bin,base-files,dash,fonts-liberation"
tree_marker=$tree/.camtag-tree

build=$root/build/i686
# What a run leaves: each part's line of the summary, the i686 frames, the installer's work.
work=$build/test-i686
summary=$work/summary
# The dialog tests that run here (the whole of tests/ui takes about 100 s under qemu): OK and
# Cancel on the record's bytes, Save as default, a page of each kind and the picture list
# editor, the About box's version, the preview's pixels and guides.
dialog_tests=(
  SettingsDialogTest.ShowDurationTakesTheLeadingNumberAndOkRaisesTheChangeCountOnce
  SettingsDialogTest.CancelLeavesTheRecordByteForByte
  SettingsDialogTest.SaveAsDefaultWritesTheDefaultsOrOnlyItsOwnState
  SettingsDialogTest.AboutShowsTheVersionAndOnlyOkClosesIt
  DateTimePageTest.EditsReachTheRecordAsTheirFieldsHoldThem
  DateTimePageTest.TheNextFrameShowsWhatWasConfirmed
  PictureListsTest.ListsShowThePicturesOnTheRecordingTime
  FormatListEditorTest.AddChangeAndRemoveKeepTheSlotsAndSaveOnOk
  TimecodePageTest.BoxesRadiosAndStartValueReachTheRecord
  FormatPageTest.ChecksAlignmentAndTransparencyReachTheRecord
  PositionPageTest.PositionsAreWholePixelsOfTheFrame
  PositionPageTest.APlaceBroughtIntoTheFrameShowsInThePreview
  SettingsDialogTest.PreviewDrawsTheWholeText
  NoRecordingTimeTest.PreviewShowsTheSampleMoment
  SettingsDialogTest.PreviewShowsTheHostFrameWithTheOverlayAndTheGuides
)

# The short render: every frame of DV fixtures (tests/data), each with a look of its own,
# stamped through the host emulator by tools/apps/camtag-render of both builds, each on its
# own build's module. The x86_64 run saves the look it stamped with, the i686 run takes it.
#   NAME FIXTURE RENDERER OPTIONS (no value with a space)
render_cases="\
camcorder ntsc-type2-idx1-dvgrab-camcorder.avi --set bold=1 --set align=centre --set x=0.5 --set angle=10
type1 ntsc-type1-indx-dvgrab-camcorder.avi --set lines=1 --set timeup=0 --date-format dddd,d.MMMM.yyyy
timecode ntsc-type2-idx1-ffmpeg-dropframe.avi --set mode=timecode --set timecodemode=15 --set italic=1 --set align=right --set x=0.9 --set y=0.1
pal pal-type2-idx1-ffmpeg.avi --set bkground=1 --set colorbkground=#403020 --set transparency=30 --set angle=-30"

log() { echo "test-i686: $*" >&2; }

# Windows path (drive Z:) of a Linux path; the worktree has the same path inside the tree.
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# compare_frames FRAME_BYTES INPUT REFERENCE OUTPUT: prints "EQUAL FRAMES", the number of the
# output's frames equal to the reference's. A reference frame the stamp left as it came in
# counts as unequal: a render that stamped nothing proves nothing.
compare_frames() {
  python3 - "$@" <<'EOF'
import sys
size = int(sys.argv[1])
given, reference, output = (open(path, "rb").read() for path in sys.argv[2:5])
frames = len(given) // size
equal = 0
for i in range(frames):
    at = slice(i * size, (i + 1) * size)
    if reference[at] == given[at]:
        print(f"frame {i}: the x86_64 render stamped nothing", file=sys.stderr)
    elif output[at] != reference[at]:
        pixels = sum(output[j:j + 4] != reference[j:j + 4] for j in range(at.start, at.stop, 4))
        print(f"frame {i}: {pixels} pixels differ from the x86_64 render", file=sys.stderr)
    else:
        equal += 1
if len(reference) != len(given) or len(output) != len(given):
    print(f"{len(given)} bytes in, {len(reference)} from x86_64, {len(output)} from i686", file=sys.stderr)
    equal = 0
print(equal, frames)
EOF
}

# ---------------------------------------------------------------------------------------------
# Inside the namespaces (the script runs itself there): register qemu, enter the tree, run Wine.
if [ "${1:-}" = "--inside" ]; then
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  # 32-bit x86 ELF executables (and shared objects run directly) go to qemu; F opens qemu now,
  # so it runs inside the chroot too.
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' \
    >/proc/sys/fs/binfmt_misc/register
  mount -t proc proc "$tree/proc"
  mount --rbind /dev "$tree/dev"
  # A fresh /tmp: nothing of an earlier, interrupted session (such as its server socket) is left.
  mount -t tmpfs tmpfs "$tree/tmp"
  mkdir -p "$tree/tmp/.X11-unix" "$tree$root" "$tree/wineprefix"
  mount --bind /tmp/.X11-unix "$tree/tmp/.X11-unix"
  mount --bind "$root" "$tree$root"

  # A command of the tree, with the environment of the x86_64 reference run (locale, zone).
  in_tree=(env -i PATH=/usr/bin:/bin HOME=/root USER=root LC_ALL=C.UTF-8 LANG=C.UTF-8 TZ=UTC0 DISPLAY="$DISPLAY"
    WINEPREFIX=/wineprefix WINEARCH=win32 WINEDEBUG=-all
    WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" "$(command -v chroot)" "$tree")
  # The first Windows process of a session starts wineboot; the session is up when it is gone.
  booting() { grep -qs 'wineboot[.]exe' /proc/[0-9]*/cmdline; }
  wait_for_boot() {
    local limit=$1 start=$SECONDS
    while booting; do
      if ((SECONDS - start > limit)); then
        log "the Wine session did not finish booting within ${limit}s"
        return 1
      fi
      sleep 5
    done
  }

  # The prefix's own settings, applied again whenever they change: later sessions start only
  # what the tests need (no device manager, mount manager, network drivers or event log); a
  # crash ends the process instead of starting winedbg; windows are not managed (no window
  # manager runs on the display), as in the x86_64 test prefix.
  cat >"$tree/tmp/camtag-i686.reg" <<'EOF'
REGEDIT4

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\PlugPlay]
"Start"=dword:00000004

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\MountMgr]
"Start"=dword:00000004

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\nsiproxy]
"Start"=dword:00000004

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\NDIS]
"Start"=dword:00000004

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\Eventlog]
"Start"=dword:00000004

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]
"Debugger"=""
"Auto"="1"

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
EOF

  "${in_tree[@]}" /usr/lib/wine/wineserver32 -p </dev/null >/dev/null 2>&1
  start=$SECONDS
  first_boot=0
  [ -f "$tree/wineprefix/system.reg" ] || first_boot=1
  # A process with nothing to do (wineboot's help) starts the session; it may give up waiting
  # for the boot long before an emulated first boot is done, so the wait is ours.
  "${in_tree[@]}" /usr/lib/wine/wine wineboot --help </dev/null >/dev/null 2>&1 || true
  wait_for_boot $((first_boot ? 3600 : 1200))
  log "Wine session booted in $((SECONDS - start))s$([ $first_boot = 1 ] && echo ' (new prefix)')"
  prepared=0
  if ! cmp -s "$tree/tmp/camtag-i686.reg" "$prefix_marker"; then
    "${in_tree[@]}" /usr/lib/wine/wine regedit /S 'Z:\tmp\camtag-i686.reg' </dev/null >/dev/null 2>&1
    prepared=1
  fi

  # Each part adds its line to the summary that the outside prints; a part that fails lets the
  # others run.
  status=0
  wine=("${in_tree[@]}" /usr/lib/wine/wine)

  # The module smoke: every result equal to the x86_64 reference.
  start=$SECONDS
  out=$(timeout 600 "${wine[@]}" "$build/tests/module_smoke/module-smoke.exe" \
    "$(winpath "$build/src/host/fl-Camtag.prm")" "$(winpath "$root/tests/data")" \
    "$(winpath "$build/module-smoke-i686.bin")" "$(winpath "$root/build/x86_64/module-smoke-reference.bin")" \
    </dev/null) || status=1
  echo "$out" >&2
  counts=$(sed -n 's|^module-smoke: \([0-9]*\) results, \([0-9]*\) equal to the reference.*|\2/\1|p' <<<"$out")
  echo "smoke ${counts:-failed}" >>"$summary"
  log "module-smoke ran in $((SECONDS - start))s"

  # The dialog tests built for i686, on the i686 module.
  start=$SECONDS
  out=$(timeout 1200 "${wine[@]}" "$build/tests/ui/ui_dialogs.exe" --gtest_filter="$(IFS=:; echo "${dialog_tests[*]}")" </dev/null 2>&1) ||
    status=1
  ran=$(sed -n 's/^\[==========\] \([0-9]*\) tests\{0,1\} from .* ran\..*/\1/p' <<<"$out")
  passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' <<<"$out")
  if [ -n "$ran" ] && [ "${passed:-0}" = "$ran" ]; then
    grep -E '^\[ +OK +\]' <<<"$out" >&2 || true
    echo "dialog $passed/$ran" >>"$summary"
  else
    status=1
    echo "$out" >&2
    echo "dialog ${ran:+${passed:-0}/}${ran:-failed}" >>"$summary"
  fi
  log "the dialog tests ran in $((SECONDS - start))s"

  # The short render: the i686 renderer on the i686 module, frame for frame equal to x86_64's.
  start=$SECONDS
  equal=0
  frames=0
  while read -r name fixture _; do
    "${wine[@]}" "$build/tools/camtag-render/camtag-render.exe" --module "$(winpath "$build/src/host/fl-Camtag.prm")" \
      --settings "$(winpath "$work/$name.look")" "$(winpath "$root/tests/data/$fixture")" \
      <"$work/$name.in" >"$work/$name.i686" 2>"$work/$name.log" || { status=1; cat "$work/$name.log" >&2 || true; }
    read -r e n < <(compare_frames "$(cat "$work/$name.size")" "$work/$name.in" "$work/$name.x86_64" "$work/$name.i686")
    [ "$e" = "$n" ] || { status=1; log "render $name: $e of $n frames equal"; }
    equal=$((equal + e))
    frames=$((frames + n))
  done <<<"$render_cases"
  echo "frames $equal/$frames equal" >>"$summary"
  log "the render ran in $((SECONDS - start))s"

  # The shipped installer, by the amd64 installer's test: a silent install into a folder with a
  # space in its name, the registration, a silent uninstall that leaves nothing behind.
  start=$SECONDS
  if TMPDIR=$work bash "$root/tests/package/test-install.sh" "$work/shipped/fl-Camtag.prm" \
    "$work/shipped/Camtag.chm" "$(echo "$work"/dist/Camtag-*-setup.exe)" "${wine[@]}" >&2; then
    echo "installer ok" >>"$summary"
  else
    status=1
    echo "installer FAILED" >>"$summary"
  fi
  log "the installer ran in $((SECONDS - start))s"

  # The server writes the registry as it ends.
  "${in_tree[@]}" /usr/lib/wine/wineserver32 -k >/dev/null 2>&1 || true
  "${in_tree[@]}" /usr/lib/wine/wineserver32 -w >/dev/null 2>&1 || true
  [ $prepared = 1 ] && cp "$tree/tmp/camtag-i686.reg" "$prefix_marker"
  exit $status
fi

# ---------------------------------------------------------------------------------------------
# Outside: packages, builds, the x86_64 reference, the tree, then the namespaces.
cd "$root"
bash scripts/setup.sh i686
fresh=0
if [ "${1:-}" = "--fresh" ]; then
  fresh=1
elif [ -n "${1:-}" ]; then
  echo "usage: scripts/test-i686.sh [--fresh]" >&2
  exit 2
fi

jobs=$(nproc 2>/dev/null || echo 2)
# The toolchain is named only to a new tree: an existing one has it (and cmake warns of a repeat).
toolchain() { [ -f "$1/CMakeCache.txt" ] || echo "-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$2.cmake"; }
cmake -S . -B build/i686 $(toolchain build/i686 i686) -DCAMTAG_SMOKE=ON >/dev/null
cmake --build build/i686 -j"$jobs" --target fl-Camtag module-smoke ui_dialogs camtag-render
cmake -S . -B build/x86_64 $(toolchain build/x86_64 x86_64) -DCAMTAG_TESTS=ON >/dev/null
cmake --build build/x86_64 -j"$jobs" --target fl-Camtag module-smoke camtag-render
rm -rf "$work"
mkdir -p "$work"

# The references: the x86_64 module under wine64, in the ctest test module_smoke_reference
# (which scripts/test.sh runs too) and in the render.
(
  source scripts/wine-env.sh
  trap camtag_wine_stop EXIT
  camtag_wine_start
  ctest --test-dir build/x86_64 -R '^module_smoke_reference$' --output-on-failure >&2
  while read -r name fixture options; do
    read -r -a options <<<"$options"
    ffmpeg -nostdin -v error -i "tests/data/$fixture" -vf vflip -pix_fmt bgra -f rawvideo "$work/$name.in"
    ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0:s=x "tests/data/$fixture" |
      { IFS=x read -r width height && echo $((width * height * 4)); } >"$work/$name.size"
    "$CAMTAG_WINE64" build/x86_64/tools/camtag-render/camtag-render.exe \
      --module "$(winpath "$root/build/x86_64/src/host/fl-Camtag.prm")" "${options[@]}" \
      --save-settings "$(winpath "$work/$name.look")" "$(winpath "$root/tests/data/$fixture")" \
      <"$work/$name.in" >"$work/$name.x86_64"
  done <<<"$render_cases"
)

# The release package of this module, made as a release is made. package.sh packages only a
# module with a passing run on record; this package is for the installer part of the run and
# stays in the work folder, on a record of its own.
module=$build/src/host/fl-Camtag.prm
module_hash=$(sha256sum "$module" | cut -d' ' -f1)
echo "$module_hash test-i686" >"$work/record"
CAMTAG_PACKAGE_RECORD=$work/record bash scripts/package.sh --recorded-only "$work/dist" >&2
7z e -bd -bso0 -o"$work/shipped" "$work"/dist/Camtag-*.zip '*/fl-Camtag.prm' '*/Camtag.chm' >/dev/null

source scripts/wine-env.sh
trap camtag_stop_xvfb EXIT
camtag_start_xvfb
export DISPLAY

# The display is up before the lock is taken: it must not hold the lock's descriptor. What the
# run starts inside the namespaces ends with them.
mkdir -p "$state"
exec 8>>"$state/lock"
if ! flock -n 8; then
  log "waiting for another run on this machine to finish with $state"
  flock -w 3600 8 || { log "FAILED: $state stayed locked for an hour"; exit 1; }
fi
if [ "$fresh" = 1 ]; then
  rm -rf "$tree" "$qemu"
fi

# Nothing can pass without the tree: a machine that cannot make it fails, saying why.
cannot_make() {
  log "FAILED: $1 cannot be made: mmdebstrap could not fetch it from Debian's mirrors (is one reachable?)"
  exit 1
}
# A tree from Debian's default mirrors; when they fail, once more from the main archive alone. A
# security mirror caught in a sync serves an index that does not match its Release file, and apt
# then refuses the whole set; the tree only runs tests, so its suite's updates are enough.
extract() { # SUITE TARGET MMDEBSTRAP-OPTION...
  local suite=$1 target=$2
  shift 2
  mmdebstrap --quiet --mode=auto --variant=extract "$@" "$suite" "$target" >&2 && return 0
  rm -rf "$target"
  log "Debian's mirrors for $suite failed as above; trying again without $suite-security"
  mmdebstrap --quiet --mode=auto --variant=extract "$@" "$suite" "$target" \
    "deb http://deb.debian.org/debian $suite main" \
    "deb http://deb.debian.org/debian $suite-updates main" >&2
}
if [ ! -f "$tree_marker" ] || [ "$(cat "$tree_marker")" != "$tree_packages" ]; then
  start=$SECONDS
  rm -rf "$tree"
  log "making the i386 Debian tree in $tree (mmdebstrap, a minute or so)"
  # extract: nothing of the tree can run here before qemu is registered, so no maintainer
  # scripts run; the few things they would do are done below.
  extract bookworm "$tree" --arch=i386 --include="$tree_packages" ||
    { rm -rf "$tree"; cannot_make "the 32-bit Debian tree (i386, wine32)"; }
  cp /etc/passwd /etc/group /etc/hosts "$tree/etc/"
  mkdir -p "$tree/root" "$tree/tmp"
  chmod 1777 "$tree/tmp"
  # libwine's install script: zlib1.dll from libz-mingw-w64, marked as a Wine builtin DLL.
  zlib=$tree/usr/i686-w64-mingw32/lib/zlib1.dll
  {
    head -c 64 "$zlib"
    printf 'Wine builtin DLL'
    head -c 16 /dev/zero
    tail -c +97 "$zlib"
  } >"$tree/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"
  echo "$tree_packages" >"$tree_marker"
  log "tree made in $((SECONDS - start))s"
fi
if [ ! -x "$qemu" ]; then
  log "fetching qemu-user-static of Debian trixie"
  rm -rf "$state/qemu-deb"
  extract trixie "$state/qemu-deb" --include=qemu-user-static ||
    { rm -rf "$state/qemu-deb"; cannot_make "qemu-i386 (Debian trixie's qemu-user-static)"; }
  cp "$state/qemu-deb/usr/bin/qemu-i386" "$qemu.new"
  mv "$qemu.new" "$qemu"
  rm -rf "$state/qemu-deb"
fi

start=$SECONDS
status=0
nice -n 10 unshare --user --map-root-user --mount --pid --fork --mount-proc \
  bash "$root/scripts/test-i686.sh" --inside || status=$?
log "$([ $status = 0 ] && echo passed || echo FAILED) in $((SECONDS - start))s (Wine under qemu)"
# A pass is recorded where scripts/package.sh looks for it, for the module that ran.
if [ $status = 0 ]; then
  if [ "$(sha256sum "$module" | cut -d' ' -f1)" = "$module_hash" ]; then
    echo "$module_hash $(git rev-parse --short HEAD 2>/dev/null || echo unknown)" \
      >>"${CAMTAG_PACKAGE_RECORD:-$build/test-i686.passed}"
  else
    log "FAILED: $module was built anew during the run: no pass recorded"
    status=1
  fi
fi
# One line says what ran and what held.
parts=$(paste -sd, "$summary" 2>/dev/null | sed 's/,/, /g')
log "$([ $status = 0 ] || echo 'FAILED: ')${parts:-nothing ran}"
exit $status
