#!/usr/bin/env bash
# The Arm build's programs, run under qemu-user with the Arm root as their
# library prefix, against the native build's: the song must come out byte
# for byte the same, and the off-screen stills (the root's own Mesa, with
# llvmpipe) within the tolerance the GLES 1 picture tests allow.
#     usage: same_output.sh arm64|armhf NATIVE_BUILD ARM_BUILD ROOT OUT_DIR
# NATIVE_BUILD must hold tools/syna-render, driver/kestovar and
# tests/image_compare; ARM_BUILD tools/syna-render and driver/kestovar.
set -euo pipefail
[ $# -eq 5 ] || { echo "usage: $0 arm64|armhf NATIVE_BUILD ARM_BUILD ROOT OUT_DIR" >&2; exit 2; }
arch=$1 native=$2 arm=$3 root=$4 out=$5
case "$arch" in
  arm64) qemu=qemu-aarch64 ;;
  armhf) qemu=qemu-arm ;;
  *) echo "same_output.sh: unknown architecture $arch" >&2; exit 2 ;;
esac
MAX_MEAN=0.6   # of 255
MAX_OVER=0.005 # share of pixels off by more than 48
rm -rf "$out"
mkdir -p "$out"
status=0

"$native/tools/syna-render" -o "$out/native.wav" >/dev/null 2>&1
"$qemu" -L "$root" "$arm/tools/syna-render" -o "$out/$arch.wav" >/dev/null 2>&1
if cmp "$out/native.wav" "$out/$arch.wav"; then
  echo "same_output: $arch song identical ($(stat -c %s "$out/native.wav") bytes)"
else
  echo "same_output: FAIL: the $arch song differs from the native one" >&2
  status=1
fi

# The README's telling moments at a 16:9 and a 4:3 size, one run per
# program and size (the song is rendered once per run).
times="10.700 39.500 89.417"
for size in 640x360 320x240; do
  args=(--size "$size")
  for t in $times; do args+=(--still "$t:$out/@-$size-$t.png"); done
  "$native/driver/kestovar" "${args[@]//@/native}" >/dev/null 2>&1
  "$qemu" -L "$root" "$arm/driver/kestovar" "${args[@]//@/$arch}" >/dev/null 2>&1 || {
    echo "same_output: FAIL: the $arch kestovar --still failed at $size" >&2
    status=1
    continue
  }
  for t in $times; do
    a=$out/native-$size-$t.png b=$out/$arch-$size-$t.png
    if cmp -s "$a" "$b"; then
      echo "same_output: $arch still $t s at $size identical"
    elif d=$("$native/tests/image_compare" "$a" "$b" --max-mean $MAX_MEAN --max-over $MAX_OVER); then
      echo "same_output: $arch still $t s at $size within tolerance: $d"
    else
      echo "same_output: FAIL: $arch still $t s at $size: ${d:-unreadable}" >&2
      status=1
    fi
  done
done
exit $status
