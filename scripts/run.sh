#!/usr/bin/env bash
# Installs what is missing, builds Kestovar and runs the demo on this screen.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" --target kestovar >/dev/null
exec build/driver/kestovar "$@"
