#!/usr/bin/env bash
# Installs what the browser build needs (Debian's emscripten) and, with
# --browser, what its test needs (Debian's chromium), skipping packages that
# are already there. Exit status 1 when a package cannot be installed.
set -euo pipefail
pkgs=(emscripten)
[ "${1:-}" = "--browser" ] && pkgs+=(chromium)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}" >&2
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi
