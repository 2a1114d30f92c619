#!/usr/bin/env bash
# Installs what is missing, checks the code style, then builds and runs the
# whole test suite twice: a Release build (warnings are errors) and a build
# with AddressSanitizer and UBSan; then fuzzes the synthesizer for a minute
# (clang's libFuzzer), failing on any finding, runs the synthesizer's
# bit-exact tests cross-built for 64-bit Arm under qemu-user, and tries the
# browser page in headless Chromium, and shows the demo on a Linux console
# in virtual machines.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/check-format.sh
scripts/check-faces.sh
jobs=$(nproc)
for preset in test sanitize; do
  echo "== $preset build" >&2
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  echo "== $preset tests" >&2
  ctest --preset "$preset" -j"$jobs"
done
echo "== Debian packages: lintian, installed into a clean Debian root" >&2
scripts/test-packages.sh
echo "== fuzz build" >&2
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$jobs" --target syna_fuzz
echo "== fuzz run" >&2
fuzz/run.sh 60
echo "== 64-bit Arm build and bit-exact tests (qemu-user)" >&2
scripts/test-arm.sh
echo "== browser test" >&2
scripts/test-web.sh
echo "== console in virtual machines" >&2
scripts/test-vm.sh
