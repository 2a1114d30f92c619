#!/usr/bin/env bash
# Installs what Kestovar needs on Debian or Raspberry Pi OS (apt-get),
# skipping packages that are already there.
#   --run      only what building and running the demo needs (scripts/run.sh)
#   (default)  that and everything the test suite needs (scripts/test.sh)
#   --web      adds what the browser build needs (Debian's emscripten)
#   --browser  adds what its test needs (Debian's chromium)
#   --vm       adds what the console test's virtual machines need (QEMU for
#              x86-64 and Arm, busybox-static for their initramfs)
# Exit status 1 when a package cannot be installed.
#     usage: setup.sh [--run] [--web] [--browser] [--vm]
set -euo pipefail
# Compiler, build tools and the libraries the demo links or loads: SDL 1.2,
# EGL and OpenGL ES with Mesa's drivers, X11, ALSA, FFmpeg (for --capture),
# libpng (stills), Highway (the mixer), libdrm/GBM/libevdev (the console);
# xdpyinfo (x11-utils) tells run.sh whether a display answers.
run_pkgs=(build-essential cmake pkg-config
          libsdl1.2-dev libegl-dev libgles-dev libx11-dev libegl-mesa0 libgl1-mesa-dri
          libasound2-dev libavcodec-dev libavformat-dev libswscale-dev libavutil-dev
          libpng-dev libhwy-dev libdrm-dev libgbm-dev libevdev-dev x11-utils)
# The test suite: test and benchmark libraries, sanitizers, style, the
# private X server and its tools, the Arm cross build, the packages.
test_pkgs=(ffmpeg valgrind libgtest-dev libgmock-dev libbenchmark-dev googletest
           clang-format clang libclang-rt-14-dev
           xvfb xinit twm xdotool x11-apps imagemagick sox python3
           g++-aarch64-linux-gnu g++-arm-linux-gnueabihf qemu-user
           qemu-system-arm busybox-static kmod
           help2man dpkg-dev file lintian mmdebstrap)
pkgs=("${run_pkgs[@]}")
with_tests=1
for arg in "$@"; do
  case "$arg" in
    --run) with_tests=0 ;;
    --web) pkgs+=(emscripten) ;;
    --browser) pkgs+=(chromium) ;;
    --vm) pkgs+=(qemu-system-x86 qemu-system-arm busybox-static kmod) ;;
    *) echo "usage: $0 [--run] [--web] [--browser] [--vm]" >&2; exit 2 ;;
  esac
done
[ $with_tests -eq 0 ] || pkgs+=("${test_pkgs[@]}")
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
