#!/usr/bin/env bash
# The show in a browser: installs what is missing, builds the page and serves
# it on a local port (PORT, or the first free one from 8000), printing its
# address on a line of its own. Open it, press Start. Ctrl-C stops serving.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --web
scripts/build-web.sh
exec python3 web/serve.py build-web/site "${PORT:-8000}"
