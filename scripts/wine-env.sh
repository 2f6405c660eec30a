# Sourced by the scripts that run Windows programs: a private Wine prefix inside the build tree,
# a Wine server started with its output detached (so it cannot hold a caller's pipes open),
# and an Xvfb display for the programs that open windows.
#
#   camtag_wine_start          a session for a run of programs (the test suite): the server stays
#                              up until camtag_wine_stop, which ends it only if this script
#                              started it
#   CAMTAG_WINE_LINGER=SECONDS camtag_wine_start
#                              for tools that may run side by side on one prefix: the server ends
#                              by itself that many seconds after its last program, and
#                              camtag_wine_stop never ends it. No Xvfb is started: the tools draw
#                              into memory only, and a window goes to the caller's display.
#   camtag_wine_start_for_front
#                              the same with a linger of 15 s for the tools whose Linux front
#                              starts the server itself: only makes a prefix not made yet
#   camtag_use_render_prefix BUILD
#                              the prefix of the renderer and camtag-probe, whose registry holds
#                              the stamp's defaults: BUILD/wineprefix-render, or
#                              $CAMTAG_RENDER_PREFIX; Wine's device, plug-and-play and RPC services
#                              stay off there (the tools draw into memory only), which halves
#                              Wine's start-up
#   CAMTAG_BOOT_NOTE, when set, is printed to stderr when a new prefix is made (a minute or so).
#
# Runs started side by side on one prefix meet only in its Wine server: the first one starts
# it (under a lock, so that two never make or boot the prefix at once), and it ends by itself.
camtag_root=${camtag_source_root_dir:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=${WINEPREFIX:-$camtag_root/build/x86_64/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export TZ=${TZ:-UTC0}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# Wine takes the Windows code page from the locale: the tests and the tools expect the
# U.S. English one (1252), whatever the caller's locale.
export LC_ALL=C.UTF-8 LANG=C.UTF-8
CAMTAG_WINE64=/usr/lib/wine/wine64
[ -x "$CAMTAG_WINE64" ] || CAMTAG_WINE64=$(command -v wine64 || command -v wine)
CAMTAG_WINESERVER=/usr/lib/wine/wineserver
[ -x "$CAMTAG_WINESERVER" ] || CAMTAG_WINESERVER=$(command -v wineserver)
camtag_xvfb_pid=""
camtag_wine_started=0

# True when a Wine server serves $WINEPREFIX: the server works in a folder named after the
# prefix's device and inode.
camtag_wine_server_running() {
  local dev ino want p
  read -r dev ino < <(stat -c '%d %i' "$WINEPREFIX" 2>/dev/null) || return 1
  want=$(printf 'server-%x-%x' "$dev" "$ino")
  # pgrep reads the process table in one go; a shell loop over /proc takes a second or more on
  # a busy machine, paid by every tool run.
  for p in $(pgrep '^wineserver'); do
    [ "$(basename "$(readlink "/proc/$p/cwd" 2>/dev/null)")" = "$want" ] && return 0
  done
  return 1
}

camtag_start_xvfb() {
  local d i
  for d in $(seq 91 140); do
    [ -e "/tmp/.X11-unix/X$d" ] || [ -e "/tmp/.X$d-lock" ] && continue
    Xvfb ":$d" -screen 0 "${CAMTAG_XVFB_SCREEN:-1280x1024x24}" -nolisten tcp </dev/null >/dev/null 2>&1 &
    camtag_xvfb_pid=$!
    for i in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$d" ] && break
      kill -0 "$camtag_xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    if [ -e "/tmp/.X11-unix/X$d" ] && kill -0 "$camtag_xvfb_pid" 2>/dev/null; then
      export DISPLAY=":$d"
      return 0
    fi
    # Another display took the number meanwhile, or Xvfb failed: try the next one.
    kill "$camtag_xvfb_pid" 2>/dev/null || true
    camtag_xvfb_pid=""
  done
  echo "camtag: no Xvfb display could be started (is the xvfb package installed?)" >&2
  return 1
}

# Ends the display camtag_start_xvfb started, if any.
camtag_stop_xvfb() {
  if [ -n "$camtag_xvfb_pid" ]; then
    kill "$camtag_xvfb_pid" 2>/dev/null || true
    wait "$camtag_xvfb_pid" 2>/dev/null || true
    camtag_xvfb_pid=""
  fi
}

# The tools' programs draw into memory: the session starts none of the services for devices,
# networking and menu entries that a desktop prefix runs, nor the service manager (a third of
# the session's start).
camtag_use_render_prefix() {
  export WINEPREFIX=${CAMTAG_RENDER_PREFIX:-$1/wineprefix-render}
  export WINEDLLOVERRIDES="mscoree,mshtml=;plugplay.exe,winedevice.exe,svchost.exe,rpcss.exe,services.exe,winemenubuilder.exe=d"
}

# For the tools handing over to the Linux front, which starts the prefix's server itself (with
# the same persistence): only a prefix not made yet is made here, under the lock and with
# CAMTAG_BOOT_NOTE. Every other run skips the look for a running server, a tenth of a second of
# processes.
camtag_wine_start_for_front() {
  [ -f "$WINEPREFIX/system.reg" ] && return 0
  CAMTAG_WINE_LINGER=15 camtag_wine_start
}

camtag_wine_start() {
  local linger=${CAMTAG_WINE_LINGER:-}
  mkdir -p "$(dirname "$WINEPREFIX")"
  if [ -z "$linger" ] && { [ -z "${DISPLAY:-}" ] || [ -n "${CI:-}" ]; }; then
    camtag_start_xvfb || return 1
  fi
  if camtag_wine_server_running; then
    camtag_wine_started=0
    return 0
  fi
  # One run at a time makes, boots and starts the prefix; the others wait and find it up.
  local status=0
  (
    flock 9
    camtag_wine_boot
  ) 9>"$WINEPREFIX.lock" || status=$?
  case "$status" in
    0) [ -n "$linger" ] || camtag_wine_started=1 ;;
    100) camtag_wine_started=0 ;;
    *) return 1 ;;
  esac
}

# Starts the server and boots the prefix: 0, or 100 when another run did so meanwhile. The lock's
# descriptor 9 is closed for what it starts: a server holding it would hold the lock for good.
camtag_wine_boot() {
  local linger=${CAMTAG_WINE_LINGER:-}
  camtag_wine_server_running && return 100
  # The server first, with its persistence; then wineboot starts the prefix's services with
  # their output detached, so that they hold no pipe of ours.
  if [ -n "$linger" ]; then
    "$CAMTAG_WINESERVER" -p"$linger" </dev/null >/dev/null 2>&1 9>&- || true
  else
    "$CAMTAG_WINESERVER" -p </dev/null >/dev/null 2>&1 9>&- || true
  fi
  local status=0
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    [ -n "${CAMTAG_BOOT_NOTE:-}" ] && echo "$CAMTAG_BOOT_NOTE" >&2
    timeout 300 "$CAMTAG_WINE64" wineboot --init </dev/null >/dev/null 2>&1 9>&- || status=$?
  elif [ -z "$linger" ]; then
    timeout 120 "$CAMTAG_WINE64" wineboot </dev/null >/dev/null 2>&1 9>&- || status=$?
  fi
  # The tools' sessions skip the start-up of a prefix made before (0.4 s of every run): their
  # programs draw into memory and need none of the services it starts, Wine brings a prefix up
  # to date by itself after an upgrade, and a dialog's desktop starts when a window is made.
  if [ "$status" -ne 0 ]; then
    echo "camtag: wineboot failed in $WINEPREFIX (exit status $status)" >&2
    return 1
  fi
  # No window manager runs on the test display: unmanaged windows close at once instead of
  # waiting a second for a manager to confirm.
  if [ -z "$linger" ] && ! grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    "$CAMTAG_WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 9>&- || true
  fi
}

camtag_wine_stop() {
  if [ "$camtag_wine_started" = 1 ]; then
    "$CAMTAG_WINESERVER" -k >/dev/null 2>&1 || true
    camtag_wine_started=0
  fi
  camtag_stop_xvfb
}
