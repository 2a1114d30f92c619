#!/usr/bin/env bash
# Installs what is missing, builds Kestovar and runs the demo on this screen.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target kestovar >/dev/null
exec build/driver/kestovar
