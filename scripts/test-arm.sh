#!/usr/bin/env bash
# The Arm checks, all under qemu-user on this machine:
#  - 32-bit Arm: the synthesizer and its bit-exact tests (tests/arm) built
#    with Debian's armhf cross compiler and libraries (the scalar mixer);
#  - the arm64 and armhf roots (scripts/arm-root.sh: made once, then
#    re-used) hold a consistent dpkg database (tests/arm/root_check.sh);
#  - 64-bit Arm: the whole demo cross-built against the arm64 root, its
#    test suite except the tests that start the built programs themselves, and
#    tests/arm/same_output.sh against the native test build (the song byte
#    for byte, stills within the GLES 1 picture tolerance).
# The arm64 root's kernel boots in the console's virtual machine tests
# (scripts/test-vm.sh, tests/vm/).
# scripts/setup.sh installs what they need. KESTOVAR_DIFF_SONGS is honoured.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

echo "-- 32-bit Arm: the synthesizer's bit-exact tests" >&2
cmake --preset arm >/dev/null
cmake --build --preset arm -j"$jobs" >/dev/null
ctest --preset arm -j"$jobs"

echo "-- the Arm roots and their dpkg databases" >&2
root=$(scripts/arm-root.sh arm64)
tests/arm/root_check.sh arm64 "$root"
tests/arm/root_check.sh armhf "$(scripts/arm-root.sh armhf)"

echo "-- 64-bit Arm: the whole demo and its tests" >&2
KESTOVAR_ARM_ROOT=$root cmake --preset arm64 >/dev/null
cmake --build --preset arm64 -j"$jobs" >/dev/null
ctest --preset arm64 -j"$jobs"

echo "-- 64-bit Arm: the same song and pictures as the native build" >&2
cmake --preset test >/dev/null
cmake --build --preset test -j"$jobs" --target kestovar syna-render image_compare >/dev/null
tests/arm/same_output.sh arm64 build-test-release build-arm64 "$root" build-arm64/same-output

