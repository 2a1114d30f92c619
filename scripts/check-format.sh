#!/usr/bin/env bash
# Fails when a C or C++ file of the repository is not in the style of
# .clang-format; `scripts/check-format.sh --fix` rewrites them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if ! clang-format --dry-run -Werror "${files[@]}"; then
  echo "check-format: run scripts/check-format.sh --fix" >&2
  exit 1
fi
