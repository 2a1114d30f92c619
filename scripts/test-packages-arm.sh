#!/usr/bin/env bash
# Builds the Debian packages of an Arm cross preset (scripts/package.sh
# arm64|armhf), runs lintian on them, unpacks them with every dependency apt
# resolves from Debian's archive of that architecture into a clean root
# (mmdebstrap's extract variant: no maintainer script runs, so no Arm
# emulation is registered on this machine), and runs the installed
# syna-render there under qemu-user: it must render the song byte for byte
# as the test build does.
#     usage: test-packages-arm.sh arm64|armhf
# Needs root, the cross preset's Debian root (scripts/arm-root.sh),
# mmdebstrap, lintian and qemu-user.
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${1:-}
case "$arch" in
  arm64) qemu=qemu-aarch64 ;;
  armhf) qemu=qemu-arm ;;
  *) echo "usage: $0 arm64|armhf" >&2; exit 2 ;;
esac
start=$SECONDS
fail() { echo "test-packages-arm: FAIL: $*" >&2; exit 1; }
work=$(mktemp -d /tmp/kestovar-packages-$arch.XXXXXX)
trap 'rm -rf "$work"' EXIT

mapfile -t debs < <(scripts/package.sh "$arch")
[ ${#debs[@]} -eq 3 ] || fail "expected 3 packages, got: ${debs[*]}"
for deb in "${debs[@]}"; do
  [ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "$deb is not for $arch"
done
echo "packages: ${debs[*]##*/} ($((SECONDS - start)) s)" >&2
status=0
lintian --fail-on error "${debs[@]}" >"$work/lintian.txt" 2>&1 || status=$?
grep -v '^running with root' "$work/lintian.txt" >&2 || true
[ $status -eq 0 ] || fail "lintian reports errors"

# apt reads the packages from the same path inside the root.
dir=$(dirname "${debs[0]}")
root=$work/root
t0=$SECONDS
mmdebstrap --verbose --variant=extract --mode=root --arch="$arch" \
  --setup-hook="mkdir -p \"\$1$dir\"" --setup-hook="copy-in ${debs[*]} $dir" \
  "${debs[@]/#/--include=}" "$(. /etc/os-release && echo "$VERSION_CODENAME")" "$root" \
  >"$work/mmdebstrap.log" 2>&1 || { tail -30 "$work/mmdebstrap.log" >&2; fail "mmdebstrap"; }
echo "clean $arch root with the packages and their dependencies: $((SECONDS - t0)) s" >&2

cmake --preset test >/dev/null
cmake --build --preset test -j"$(nproc)" --target syna-render >/dev/null
"$qemu" -L "$root" "$root/usr/bin/syna-render" -o "$work/arm.wav" >/dev/null
build-test-release/tools/syna-render -o "$work/ref.wav" >/dev/null
cmp "$work/arm.wav" "$work/ref.wav" || fail "the $arch syna-render renders other bytes"
echo "$arch: the packaged syna-render renders the test build's bytes; $((SECONDS - start)) s" >&2
