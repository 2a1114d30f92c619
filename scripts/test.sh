#!/usr/bin/env bash
# Installs what is missing, checks the code style, then builds and runs the
# whole test suite twice: a Release build (warnings are errors) and a build
# with AddressSanitizer and UBSan; then fuzzes the synthesizer for a minute
# (clang's libFuzzer), failing on any finding, runs the Arm checks under
# qemu (scripts/test-arm.sh) and those of the arm64 and armhf packages,
# tries the browser page in headless Chromium, and shows the demo on a Linux
# console in virtual machines, x86-64 and 64-bit Arm (there from the arm64
# packages, installed with dpkg).
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
echo "== Arm: 32-bit synthesizer tests, 64-bit whole demo, its tests, the same output" >&2
scripts/test-arm.sh
echo "== Debian packages for arm64 and armhf: lintian, unpacked into clean roots" >&2
scripts/test-packages-arm.sh arm64
scripts/test-packages-arm.sh armhf
echo "== browser test" >&2
scripts/test-web.sh
echo "== console in virtual machines" >&2
# The arm64 VM installs the arm64 packages with dpkg and runs what they put
# in place; the armhf ones go into the armhf userland, shared with it.
KESTOVAR_VM_ARM64_ROOT=$(scripts/arm-root.sh arm64) \
  KESTOVAR_VM_ARM64_DEBS=$PWD/build-deb-arm64/packages \
  KESTOVAR_VM_ARMHF_ROOT=$(scripts/arm-root.sh armhf) \
  KESTOVAR_VM_ARMHF_DEBS=$PWD/build-deb-armhf/packages scripts/test-vm.sh
