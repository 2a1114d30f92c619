#!/usr/bin/env bash
# Runs the synthesizer's fuzz target for a bounded time (seconds, default
# 60), starting from the seed corpus and every earlier finding, and fails
# on any finding. Build it first: cmake --preset fuzz && cmake --build
# --preset fuzz --target syna_fuzz. A finding is left in build-fuzz/findings/;
# once mended, copy it into fuzz/regressions/ under a name that says what it
# found, so that the replay test keeps it found.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
work=build-fuzz/corpus
mkdir -p "$work" build-fuzz/findings
# Inputs get 20 s each (the largest songs the caps allow take well under
# one second here) and 2 GB of memory.
if ! build-fuzz/fuzz/syna_fuzz -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -dict=fuzz/syna.dict -artifact_prefix=build-fuzz/findings/ -print_final_stats=1 \
    "$work" fuzz/corpus fuzz/regressions 2>build-fuzz/fuzz.log; then
  tail -n 60 build-fuzz/fuzz.log >&2
  echo "fuzz: finding(s) in build-fuzz/findings/: $(ls build-fuzz/findings)" >&2
  exit 1
fi
grep -E '^stat::number_of_executed_units|^Done' build-fuzz/fuzz.log >&2 || true
echo "fuzz: no findings in ${seconds} s" >&2
