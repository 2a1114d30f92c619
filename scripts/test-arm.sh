#!/usr/bin/env bash
# Cross-builds the synthesizer and its bit-exact tests for 64-bit Arm
# (tests/arm) and runs them under qemu-user: the same bytes as on x86-64.
# Needs g++-aarch64-linux-gnu, qemu-user, googletest and libhwy-dev
# (scripts/setup.sh installs them). KESTOVAR_DIFF_SONGS is honoured.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S tests/arm -B build-arm -DCMAKE_TOOLCHAIN_FILE="$PWD/tests/arm/aarch64.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-arm -j"$(nproc)"
# Under emulation the random songs are fewer by default; the x86 runs do 300.
KESTOVAR_DIFF_SONGS="${KESTOVAR_DIFF_SONGS:-100}" \
  ctest --test-dir build-arm -j"$(nproc)" --output-on-failure
