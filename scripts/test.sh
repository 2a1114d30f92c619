#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite twice:
# a Release build, and a build with AddressSanitizer and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)
for cfg in release asan; do
  dir=build-test-$cfg
  opts=(-DCMAKE_BUILD_TYPE=Release)
  [ $cfg = asan ] && opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTOVAR_SANITIZE=ON)
  echo "== $cfg build" >&2
  cmake -S . -B "$dir" "${opts[@]}" >/dev/null
  cmake --build "$dir" -j"$jobs"
  echo "== $cfg tests" >&2
  (cd "$dir" && ctest --output-on-failure -j"$jobs")
done
