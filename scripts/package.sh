#!/usr/bin/env bash
# Builds the Debian packages of Kestovar with CPack: kestovar (the demo,
# syna-render, man pages), libsyna1 (the synthesizer's shared library) and
# libsyna-dev (its header, pkg-config and CMake files).
#     usage: package.sh [PRESET]     (default: release)
# The build goes to build-deb-PRESET/ (installed under /usr, no tests), the
# packages to build-deb-PRESET/packages/; their paths are printed, one a
# line. A cross preset (a toolchain file with a Debian root of the target as
# CMAKE_SYSROOT and qemu-user as CMAKE_CROSSCOMPILING_EMULATOR) makes the
# packages of its architecture, arm64 or armhf; their dependencies are then
# computed against that root, which needs root (a private mount namespace).
# Needs help2man, dpkg-dev and file.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-release}
dir=build-deb-$preset
cmake --preset "$preset" -B "$dir" -DCMAKE_INSTALL_PREFIX=/usr -DKESTOVAR_TESTS=OFF \
  -DKESTOVAR_BENCH=OFF -DKESTOVAR_DEB=ON -DKESTOVAR_MANPAGES=ON >/dev/null
cmake --build "$dir" -j"$(nproc)" >"$dir/build.log" || { tail -40 "$dir/build.log" >&2; exit 1; }
rm -rf "$dir/packages"
(cd "$dir" && cpack -G DEB >cpack.log 2>&1) || { tail -40 "$dir/cpack.log" >&2; exit 1; }
ls "$PWD/$dir"/packages/*.deb
