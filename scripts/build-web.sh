#!/usr/bin/env bash
# Builds the browser page into build-web/site/ (index.html, page.js,
# kestovar.js, kestovar.wasm) with Debian's emscripten.
set -euo pipefail
cd "$(dirname "$0")/.."
# Debian's emscripten runs its JavaScript tools with the machine's node, which
# must find Debian's acorn.
export NODE_PATH=/usr/share/nodejs
emcmake cmake -S web -B build-web -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-web -j"$(nproc)" >&2
