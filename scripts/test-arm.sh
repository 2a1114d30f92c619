#!/usr/bin/env bash
# Cross-builds the synthesizer and its bit-exact tests for 64-bit Arm
# (tests/arm) and runs them under qemu-user: the same bytes as on x86-64.
# Needs g++-aarch64-linux-gnu, qemu-user, googletest and libhwy-dev
# (scripts/setup.sh installs them). KESTOVAR_DIFF_SONGS is honoured. About a
# minute on an idle 2-core machine, a few under load.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset arm >/dev/null
cmake --build --preset arm -j"$(nproc)"
ctest --preset arm -j"$(nproc)"
