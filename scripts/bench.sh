#!/usr/bin/env bash
# Builds the benchmarks (the `bench` preset) and runs them one after another
# in one go, after a short description of the machine they ran on: the
# figures are only comparable with others from the same kind of machine and
# load. Extra arguments go to every benchmark program (for example
# --benchmark_repetitions=5). Needs Xvfb for the display and start-up ones.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset bench >/dev/null
cmake --build --preset bench -j"$(nproc)" >/dev/null
echo "== machine"
echo "cpu:     $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "cores:   $(nproc)"
echo "load:    $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min)"
echo "kernel:  $(uname -sr)"
echo "gl:      $(dpkg-query -W -f='${Version}' libgl1-mesa-dri 2>/dev/null || echo unknown) (Mesa)"
# Every benchmark program the build made.
for b in build-bench/bench/*_bench; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" "$@"
done
