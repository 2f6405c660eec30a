# Sourced by the scripts that run Windows programs: a private Wine prefix inside the build tree,
# a Wine server started with its output detached (so it cannot hold a caller's pipes open),
# and an Xvfb display for the programs that open windows. camtag_wine_stop ends both.
camtag_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$camtag_root/build/x86_64/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export TZ=${TZ:-UTC0}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
CAMTAG_WINE64=/usr/lib/wine/wine64
[ -x "$CAMTAG_WINE64" ] || CAMTAG_WINE64=$(command -v wine64 || command -v wine)
CAMTAG_WINESERVER=/usr/lib/wine/wineserver
[ -x "$CAMTAG_WINESERVER" ] || CAMTAG_WINESERVER=$(command -v wineserver)
camtag_xvfb_pid=""

camtag_wine_start() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  if [ -z "${DISPLAY:-}" ] || [ -n "${CI:-}" ]; then
    local d
    for d in $(seq 91 140); do
      [ -e "/tmp/.X11-unix/X$d" ] || [ -e "/tmp/.X$d-lock" ] && continue
      Xvfb ":$d" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
      camtag_xvfb_pid=$!
      export DISPLAY=":$d"
      local i
      for i in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$d" ] && break; sleep 0.1; done
      break
    done
  fi
  # The first Wine process starts the server and the prefix's services; with its output
  # detached they hold no pipe of ours. -p keeps the server up between test programs.
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    timeout 300 "$CAMTAG_WINE64" wineboot --init </dev/null >/dev/null 2>&1 || true
  else
    timeout 120 "$CAMTAG_WINE64" wineboot </dev/null >/dev/null 2>&1 || true
  fi
  "$CAMTAG_WINESERVER" -p </dev/null >/dev/null 2>&1 || true
}

camtag_wine_stop() {
  "$CAMTAG_WINESERVER" -k >/dev/null 2>&1 || true
  if [ -n "$camtag_xvfb_pid" ]; then
    kill "$camtag_xvfb_pid" 2>/dev/null || true
    wait "$camtag_xvfb_pid" 2>/dev/null || true
    camtag_xvfb_pid=""
  fi
}
