#!/usr/bin/env bash
# Installs what Kestovar needs to build, run and test on Debian (apt-get),
# skipping packages that are already there. --web adds what the browser
# build needs (Debian's emscripten), --browser what its test needs (Debian's
# chromium). Exit status 1 when a package cannot be installed.
#     usage: setup.sh [--web] [--browser]
set -euo pipefail
pkgs=(build-essential cmake pkg-config
      libsdl1.2-dev libegl-dev libgles-dev libx11-dev libegl-mesa0 libgl1-mesa-dri libasound2-dev
      libavcodec-dev libavformat-dev libswscale-dev libavutil-dev libpng-dev ffmpeg valgrind
      libgtest-dev libgmock-dev libbenchmark-dev libhwy-dev clang-format clang libclang-rt-14-dev
      xvfb xdotool x11-apps x11-utils imagemagick sox python3
      g++-aarch64-linux-gnu g++-arm-linux-gnueabihf qemu-user googletest
      mmdebstrap qemu-system-arm busybox-static kmod)
for arg in "$@"; do
  case "$arg" in
    --web) pkgs+=(emscripten) ;;
    --browser) pkgs+=(chromium) ;;
    *) echo "usage: $0 [--web] [--browser]" >&2; exit 2 ;;
  esac
done
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}" >&2
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi
