#!/usr/bin/env bash
# Fails when a file includes another module's internal header (*_internal.h):
# outside its own folder a module is reached only through its public face.
# The tests, the benchmarks and the fuzz target may look inside.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
while IFS= read -r file; do
  case "$file" in tests/* | bench/* | fuzz/*) continue ;; esac
  while IFS= read -r header; do
    owner=$(git ls-files "*/$header" | head -n 1)
    if [ -z "$owner" ] || [ "${owner%%/*}" != "${file%%/*}" ]; then
      echo "check-faces: $file includes $header of ${owner%%/*}/; use its public header" >&2
      status=1
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*_internal\.h\)".*/\1/p' "$file" |
    sed 's|.*/||')
done < <(git ls-files '*.c' '*.cpp' '*.h')
exit $status
