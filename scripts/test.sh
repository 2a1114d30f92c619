#!/usr/bin/env bash
# Installs what is missing, checks the code style, then builds and runs the
# whole test suite twice: a Release build (warnings are errors) and a build
# with AddressSanitizer and UBSan; then fuzzes the synthesizer for a minute
# (clang's libFuzzer), failing on any finding, runs the Arm checks under
# qemu (scripts/test-arm.sh), and tries the browser page in headless Chromium.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/check-format.sh
jobs=$(nproc)
for preset in test sanitize; do
  echo "== $preset build" >&2
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  echo "== $preset tests" >&2
  ctest --preset "$preset" -j"$jobs"
done
echo "== fuzz build" >&2
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$jobs" --target syna_fuzz
echo "== fuzz run" >&2
fuzz/run.sh 60
echo "== Arm: 32-bit synthesizer tests, 64-bit whole demo, tests, same output, VM kit boot" >&2
scripts/test-arm.sh
echo "== browser test" >&2
scripts/test-web.sh
