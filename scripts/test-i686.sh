#!/usr/bin/env bash
# Runs the shipped 32-bit module: the i686 build of tests/module_smoke loads the i686
# fl-Camtag.prm under 32-bit Wine and compares everything xFilter returns with what the x86_64
# build returns for the same calls (written by the ctest test module_smoke_reference).
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
# Exit status 0 when the module passed; the i686 results go to build/i686/module-smoke-i686.bin.
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

log() { echo "test-i686: $*" >&2; }

# Windows path (drive Z:) of a Linux path; the worktree has the same path inside the tree.
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

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

  "${in_tree[@]}" /usr/lib/wine/wineserver32 -p </dev/null >/dev/null 2>&1
  start=$SECONDS
  first_boot=0
  [ -f "$prefix_marker" ] || first_boot=1
  # A process with nothing to do (wineboot's help) starts the session; it may give up waiting
  # for the boot long before an emulated first boot is done, so the wait is ours.
  "${in_tree[@]}" /usr/lib/wine/wine wineboot --help </dev/null >/dev/null 2>&1 || true
  wait_for_boot $((first_boot ? 3600 : 1200))
  log "Wine session booted in $((SECONDS - start))s$([ $first_boot = 1 ] && echo ' (new prefix)')"

  if [ $first_boot = 1 ]; then
    # Later sessions start only what the test needs: no device manager, mount manager, network
    # drivers or event log; a crash ends the process instead of starting winedbg.
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
EOF
    "${in_tree[@]}" /usr/lib/wine/wine regedit /S 'Z:\tmp\camtag-i686.reg' </dev/null >/dev/null 2>&1
  fi

  start=$SECONDS
  status=0
  timeout 1800 "${in_tree[@]}" /usr/lib/wine/wine "$CAMTAG_SMOKE_EXE" "$CAMTAG_SMOKE_ARGS_MODULE" \
    "$CAMTAG_SMOKE_ARGS_DATA" "$CAMTAG_SMOKE_ARGS_OUT" "$CAMTAG_SMOKE_ARGS_REFERENCE" </dev/null || status=$?
  log "module-smoke ran in $((SECONDS - start))s"

  # The server writes the registry as it ends.
  "${in_tree[@]}" /usr/lib/wine/wineserver32 -k >/dev/null 2>&1 || true
  "${in_tree[@]}" /usr/lib/wine/wineserver32 -w >/dev/null 2>&1 || true
  [ $first_boot = 1 ] && touch "$prefix_marker"
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
cmake -S . -B build/i686 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCAMTAG_SMOKE=ON >/dev/null
cmake --build build/i686 -j"$jobs" --target fl-Camtag module-smoke
cmake -S . -B build/x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCAMTAG_TESTS=ON >/dev/null
cmake --build build/x86_64 -j"$jobs" --target fl-Camtag module-smoke

# The reference: the x86_64 module under wine64, the same test that scripts/test.sh runs.
(
  source scripts/wine-env.sh
  trap camtag_wine_stop EXIT
  camtag_wine_start
  ctest --test-dir build/x86_64 -R '^module_smoke_reference$' --output-on-failure >&2
)

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
if [ ! -f "$tree_marker" ] || [ "$(cat "$tree_marker")" != "$tree_packages" ]; then
  start=$SECONDS
  rm -rf "$tree"
  log "making the i386 Debian tree in $tree (mmdebstrap, a minute or so)"
  # extract: nothing of the tree can run here before qemu is registered, so no maintainer
  # scripts run; the few things they would do are done below.
  mmdebstrap --quiet --mode=auto --variant=extract --arch=i386 --include="$tree_packages" \
    bookworm "$tree" >&2 || { rm -rf "$tree"; cannot_make "the 32-bit Debian tree (i386, wine32)"; }
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
  mmdebstrap --quiet --mode=auto --variant=extract --include=qemu-user-static trixie "$state/qemu-deb" >&2 ||
    { rm -rf "$state/qemu-deb"; cannot_make "qemu-i386 (Debian trixie's qemu-user-static)"; }
  cp "$state/qemu-deb/usr/bin/qemu-i386" "$qemu.new"
  mv "$qemu.new" "$qemu"
  rm -rf "$state/qemu-deb"
fi

export CAMTAG_SMOKE_EXE=$root/build/i686/tests/module_smoke/module-smoke.exe
export CAMTAG_SMOKE_ARGS_MODULE=$(winpath "$root/build/i686/src/host/fl-Camtag.prm")
export CAMTAG_SMOKE_ARGS_DATA=$(winpath "$root/tests/data")
export CAMTAG_SMOKE_ARGS_OUT=$(winpath "$root/build/i686/module-smoke-i686.bin")
export CAMTAG_SMOKE_ARGS_REFERENCE=$(winpath "$root/build/x86_64/module-smoke-reference.bin")
start=$SECONDS
status=0
nice -n 10 unshare --user --map-root-user --mount --pid --fork --mount-proc \
  bash "$root/scripts/test-i686.sh" --inside || status=$?
log "$([ $status = 0 ] && echo passed || echo FAILED) in $((SECONDS - start))s (Wine under qemu)"
exit $status
