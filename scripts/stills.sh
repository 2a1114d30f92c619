#!/usr/bin/env bash
# Regenerates the README's pictures in docs/: stills of the show at five
# telling moments, taken off screen with `kestovar --still` (no display or
# sound card needed). The times are the middle of a bar: (4 * bar + 0.3) *
# 0.48 seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" --target kestovar >/dev/null
mkdir -p docs
build/driver/kestovar --size 960x540 \
  --still 10.700:docs/intro.png \
  --still 39.500:docs/groove.png \
  --still 81.750:docs/arpeggio.png \
  --still 89.417:docs/climax.png \
  --still 104.784:docs/flower.png
