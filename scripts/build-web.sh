#!/usr/bin/env bash
# Builds the browser page into build-web/site/ (index.html, page.js,
# kestovar.js, kestovar.wasm) with Debian's emscripten.
set -euo pipefail
cd "$(dirname "$0")/.."
# Debian's emscripten runs its JavaScript tools with the machine's node, which
# must find Debian's acorn.
export NODE_PATH=/usr/share/nodejs
# A build folder configured from web/ alone (as this script once did) cannot
# take the preset, which configures from the top.
if [ -f build-web/CMakeCache.txt ] && grep -qxF "CMAKE_HOME_DIRECTORY:INTERNAL=$PWD/web" build-web/CMakeCache.txt; then
  rm -rf build-web
fi
cmake --preset web >/dev/null
cmake --build --preset web -j2 >&2
