#!/usr/bin/env bash
# Builds the Debian packages (scripts/package.sh), runs lintian on them
# (fails on an error, prints the warnings), then installs them with apt into
# a clean Debian root made by mmdebstrap and checks them there against the
# test build (build-test-release, built if missing): syna-render renders the
# song byte for byte, kestovar --still draws the same picture (within the
# tolerance of tests/web/image_compare) and --capture finds its encoder.
# Downloaded .debs are kept in ~/.cache/kestovar/apt (KESTOVAR_APT_CACHE)
# for the next run. Needs root (chroot), mmdebstrap and lintian.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
fail() { echo "test-packages: FAIL: $*" >&2; exit 1; }

work=$(mktemp -d /tmp/kestovar-packages.XXXXXX)
root=$work/root
cleanup() {
  if mountpoint -q "$root/proc"; then umount "$root/proc"; fi
  rm -rf "$work"
}
trap cleanup EXIT

mapfile -t debs < <(scripts/package.sh release)
[ ${#debs[@]} -eq 3 ] || fail "expected 3 packages, got: ${debs[*]}"
echo "packages: ${debs[*]##*/} ($((SECONDS - start)) s)" >&2
status=0
lintian --fail-on error "${debs[@]}" >"$work/lintian.txt" 2>&1 || status=$?
grep -v '^running with root' "$work/lintian.txt" >&2 || true
[ $status -eq 0 ] || fail "lintian reports errors"
echo "lintian: no errors" >&2

ref=build-test-release
cmake --preset test >/dev/null
cmake --build --preset test -j"$(nproc)" --target syna-render kestovar image_compare >/dev/null

cache=${KESTOVAR_APT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kestovar/apt}
mkdir -p "$cache"
suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
t0=$SECONDS
mmdebstrap --verbose --variant=apt --mode=root --skip=essential/unlink \
  --setup-hook='mkdir -p "$1"/var/cache/apt/archives/' \
  --setup-hook="sync-in $cache /var/cache/apt/archives/" \
  --customize-hook='mkdir -p "$1"/tmp/debs' \
  --customize-hook="copy-in ${debs[*]} /tmp/debs" \
  --customize-hook='chroot "$1" sh -c "apt-get install -y --install-recommends /tmp/debs/*.deb"' \
  --customize-hook="sync-out /var/cache/apt/archives $cache" \
  "$suite" "$root" >"$work/mmdebstrap.log" 2>&1 || { tail -30 "$work/mmdebstrap.log" >&2; fail "mmdebstrap"; }
echo "clean $suite root with the packages: $((SECONDS - t0)) s" >&2
for p in kestovar libsyna1 libsyna-dev libgl1-mesa-dri; do
  [ "$(chroot "$root" dpkg-query -W -f='${Status}' "$p")" = "install ok installed" ] ||
    fail "$p is not installed in the root"
done
mount -t proc proc "$root/proc"
run() { chroot "$root" env -i PATH=/usr/bin:/bin HOME=/tmp "$@"; }

# The song, byte for byte.
run syna-render -o /tmp/song.wav >/dev/null
"$ref/tools/syna-render" -o "$work/song.wav" >/dev/null
cmp "$root/tmp/song.wav" "$work/song.wav" || fail "the installed syna-render renders other bytes"
echo "syna-render: same $(stat -c %s "$work/song.wav") bytes as the test build" >&2

# A still of the show, and a short capture through the installed encoder.
run kestovar --still 20:/tmp/still.png --size 640x480 >/dev/null 2>"$work/still.err" ||
  { cat "$work/still.err" >&2; fail "kestovar --still in the root"; }
"$ref/driver/kestovar" --still 20:"$work/still.png" --size 640x480 >/dev/null 2>&1
"$ref/tests/image_compare" "$root/tmp/still.png" "$work/still.png" --max-mean 1 --max-over 0.001 >&2 ||
  fail "the installed kestovar draws another picture"
run kestovar --capture /tmp/part.mp4 --from 20 --to 20.5 --size 320x240 >/dev/null 2>"$work/capture.err" ||
  { cat "$work/capture.err" >&2; fail "kestovar --capture in the root"; }
[ -s "$root/tmp/part.mp4" ] || fail "the capture wrote no video"
echo "kestovar: the still matches, the capture ran; packages tested in $((SECONDS - start)) s" >&2
