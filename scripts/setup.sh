#!/usr/bin/env bash
# Installs every Debian package that building, testing and the tools need.
# Idempotent: does nothing (and prints nothing) when all are present.
# Optional groups: `scripts/setup.sh i686` adds what scripts/test-i686.sh needs,
# `scripts/setup.sh fuzz` the native fuzzing build (clang, libFuzzer, llvm-cov), `scripts/setup.sh
# docs` a headless browser for the report's screenshot.
set -eu
packages=(
  cmake make
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine64 xvfb xauth fonts-liberation
  googletest g++ libcli11-dev nlohmann-json3-dev
  pkg-config libavformat-dev libavcodec-dev libavfilter-dev libavutil-dev
  ffmpeg
  python3 procps
  clang-format-14
  fp-utils libchm-bin
  nsis p7zip-full
)
for group in "$@"; do
  case "$group" in
    # A 32-bit Debian tree with 32-bit Wine, and a newer qemu-user-static, made by mmdebstrap.
    i686) packages+=(mmdebstrap) ;;
    fuzz) packages+=(clang-14 libclang-rt-14-dev llvm-14) ;;
    # The report's screenshot for the README (scripts/report-screenshot.sh).
    docs) packages+=(chromium) ;;
    *) echo "setup: unknown group $group" >&2; exit 2 ;;
  esac
done
# One dpkg-query for all: the scripts run this before every use, so it must cost nothing.
installed=" $(dpkg-query -W -f='${Package}=${Status}\n' "${packages[@]}" 2>/dev/null \
  | sed -n 's/=install ok installed$//p' | tr '\n' ' ')"
missing=()
for p in "${packages[@]}"; do
  [[ "$installed" == *" $p "* ]] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}" >&2
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  # Never wait for a password (CI has nobody to type it): say what is missing instead.
  if ! sudo -n true 2>/dev/null; then
    echo "setup: these Debian packages are missing and installing them needs root:" >&2
    echo "  sudo apt-get install ${missing[*]}" >&2
    exit 1
  fi
  sudo=(sudo -n)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq >/dev/null
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
