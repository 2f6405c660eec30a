# Sourced by the scripts that run the module's programs: brings their x86_64 build up to date.
#
#   camtag_build BUILD_DIR TARGET...   configures BUILD_DIR when needed and builds the targets
#                                      quietly (the log's tail on failure); returns non-zero
#                                      when that fails
#
#   camtag_build_front                 the same for the tools' Linux front, build/native/camtag
#                                      (CAMTAG_FRONT_DIR), built with the host compiler
#
# CAMTAG_BUILD_NOTE, when set, is printed to stderr when a build is really needed.
# CAMTAG_NO_BUILD=1 skips the build (a caller that built the tree itself, such as the test
# suite running a script from the tree it is testing, must not have it relinked underneath).
# When the same targets were built before and no file of the source tree changed since, cmake is
# not asked at all: configuring and make's checks take seconds, a look at the files' times
# milliseconds, and the tools are run far more often than their sources change. Runs side by side
# build one at a time (a lock beside the build tree); the second finds the work done.
camtag_build() {
  [ "${CAMTAG_NO_BUILD:-}" = 1 ] && return 0
  # Once per script: a second look at the packages finds what the first found.
  if [ -z "${camtag_setup_checked:-}" ]; then
    bash "$camtag_source_root_dir/scripts/setup.sh" || return 1
    camtag_setup_checked=1
  fi
  camtag_build_current "$@" && return 0
  mkdir -p "$(dirname "$1")"
  local status=0
  (
    flock 9
    camtag_build_current "$@" || camtag_build_now "$@"
  ) 9>"$1.lock" || status=$?
  return "$status"
}

# Worked out once: every tool run passes through here, and each subshell and program started
# costs milliseconds before the tool does anything.
case "${BASH_SOURCE[0]}" in
  */*) camtag_source_root_dir=$(cd "${BASH_SOURCE[0]%/*}/.." && pwd) ;;
  *) camtag_source_root_dir=$(cd .. && pwd) ;;
esac

# Sets camtag_stamp to the file whose time says when these targets were last built in BUILD_DIR.
camtag_build_stamp() {
  local build=$1
  shift
  local targets="$*"
  camtag_stamp="$build/.camtag-built-${targets// /+}"
}

# True when the targets were built after the last change of the source tree.
camtag_build_current() {
  local build=$1
  shift
  local root=$camtag_source_root_dir stamp
  camtag_build_stamp "$build" "$@"
  stamp=$camtag_stamp
  [ -f "$stamp" ] && [ -f "$build/CMakeCache.txt" ] && [ ! "$build/CMakeCache.txt" -nt "$stamp" ] &&
    [ -z "$(find "$root" \( -path "$root/.git" -o -path "$root/build" -o -path "$build" -o -path "$root/out" \) \
             -prune -o -newer "$stamp" -print -quit 2>/dev/null)" ]
}

camtag_build_now() {
  local build=$1
  shift
  local root=$camtag_source_root_dir stamp
  camtag_build_stamp "$build" "$@"
  stamp=$camtag_stamp
  [ -n "${CAMTAG_BUILD_NOTE:-}" ] && echo "$CAMTAG_BUILD_NOTE" >&2
  local started log
  log=$(mktemp)
  # Configured again when the tree exists, so that folders added since are known.
  local toolchain=() source=${CAMTAG_BUILD_SOURCE:-$root}
  # A tree configured from a folder that has since moved is started afresh.
  if [ -f "$build/CMakeCache.txt" ] &&
     ! grep -qxF "CMAKE_HOME_DIRECTORY:INTERNAL=$source" "$build/CMakeCache.txt"; then
    rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
  fi
  [ -f "$build/CMakeCache.txt" ] || [ "$source" != "$root" ] ||
    toolchain=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake")
  if ! cmake -S "$source" -B "$build" "${toolchain[@]}" >"$log" 2>&1; then
    tail -40 "$log" >&2
    rm -f "$log"
    echo "camtag: configuring $build failed" >&2
    return 1
  fi
  # Taken after configuring (which may rewrite the cache) and before the build, so that a file
  # changed while the build runs is built next time.
  started=$(mktemp "$build.stamp.XXXXXX" 2>/dev/null || mktemp)
  if ! cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)" --target "$@" >"$log" 2>&1; then
    tail -40 "$log" >&2
    rm -f "$log" "$started"
    echo "camtag: building $* in $build failed" >&2
    return 1
  fi
  rm -f "$log"
  mv -f "$started" "$stamp" 2>/dev/null || rm -f "$started"
}

camtag_front_dir=${CAMTAG_FRONT_DIR:-$camtag_source_root_dir/build/native}
camtag_front_dir() { echo "$camtag_front_dir"; }

camtag_build_front() {
  CAMTAG_BUILD_SOURCE="$camtag_source_root_dir/tools/apps/camtag" camtag_build "$camtag_front_dir" camtag
}
