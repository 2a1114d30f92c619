#!/usr/bin/env bash
# Runs the demo on a Linux console in virtual machines (tests/vm): QEMU
# with plain emulation boots Debian's kernel (downloaded with apt-get
# download, never installed) over this machine's own root, shared read-only.
# Three boots on x86-64: 4:3 with the live show and its sound, a wide
# screen, and one without a GPU. With KESTOVAR_VM_ARM64_ROOT (an arm64
# userland) and either KESTOVAR_VM_ARM64_BIN (the folder of the demo
# cross-built against it) or KESTOVAR_VM_ARM64_DEBS (the folder of its
# arm64 packages, installed with dpkg in each boot) the same three run on
# 64-bit Arm. With KESTOVAR_VM_ARMHF_ROOT and KESTOVAR_VM_ARMHF_DEBS (an
# armhf userland and its packages) the arm64 boot without a GPU also
# installs those with dpkg in that userland and runs them on the 64-bit
# kernel. A few minutes on an idle 2-core machine (see the README).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --vm
arm=()
if [ -n "${KESTOVAR_VM_ARM64_ROOT:-}" ]; then
  arm=(-DKESTOVAR_VM_ARM64_ROOT="$KESTOVAR_VM_ARM64_ROOT"
    -DKESTOVAR_VM_ARM64_BIN="${KESTOVAR_VM_ARM64_BIN:-}"
    -DKESTOVAR_VM_ARM64_DEBS="${KESTOVAR_VM_ARM64_DEBS:-}"
    -DKESTOVAR_VM_ARMHF_ROOT="${KESTOVAR_VM_ARMHF_ROOT:-}"
    -DKESTOVAR_VM_ARMHF_DEBS="${KESTOVAR_VM_ARMHF_DEBS:-}")
fi
# The VM tests join the test build only for this run.
trap 'cmake --preset test -DKESTOVAR_VM_TESTS=OFF >/dev/null' EXIT
cmake --preset test -DKESTOVAR_VM_TESTS=ON "${arm[@]}" >/dev/null
cmake --build --preset test -j"$(nproc)" --target kestovar syna-render
ctest --test-dir build-test-release -L vm --output-on-failure
