#!/usr/bin/env bash
# Makes what a 64-bit Arm virtual machine boots (qemu-system-aarch64 -M virt
# -cpu cortex-a72, plain emulation): the kernel Image of the arm64 root
# (scripts/arm-root.sh) and a small initramfs of the root's static busybox,
# the kernel modules for 9p, overlay, the virtual GPU, the HDA sound card
# and evdev keyboards, and INIT as /init. The guest's root file system is
# the arm64 root itself, shared read-only over 9p.
#     usage: arm64-vm-kit.sh KIT_DIR [INIT]
# Writes KIT_DIR/Image, KIT_DIR/initramfs.gz and KIT_DIR/root (a link to the
# root); INIT defaults to tests/arm/boot-check-init. Nothing is redone when
# KIT_DIR/ready names the same kernel, root and init.
set -euo pipefail
[ $# -ge 1 ] && [ $# -le 2 ] || { echo "usage: $0 KIT_DIR [INIT]" >&2; exit 2; }
here=$(cd "$(dirname "$0")/.." && pwd)
kit=$1
init=${2:-$here/tests/arm/boot-check-init}
mkdir -p "$kit"
kit=$(cd "$kit" && pwd)
root=$("$here/scripts/arm-root.sh" arm64)
vmlinuz=$(ls "$root"/boot/vmlinuz-*-arm64 2>/dev/null | sort -V | tail -1)
[ -n "$vmlinuz" ] || { echo "arm64-vm-kit.sh: no arm64 kernel in $root/boot" >&2; exit 1; }
kver=${vmlinuz##*/vmlinuz-}
stamp="$kver $root $(cat "$root/.kestovar-root" | sha256sum | cut -c1-16) $(sha256sum <"$init" | cut -c1-16)"
if [ "$(cat "$kit/ready" 2>/dev/null)" = "$stamp" ]; then
  echo "$kit"
  exit 0
fi
rm -f "$kit/ready"

moddir=$root/lib/modules/$kver
[ -f "$moddir/modules.dep" ] || { echo "arm64-vm-kit.sh: $moddir has no modules.dep" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/lib/modules/$kver"
cp "$root/bin/busybox" "$work/bin/busybox"
install -m 755 "$init" "$work/init"
for m in virtio_pci 9pnet_virtio 9p overlay virtio_gpu snd_hda_intel snd_hda_codec_generic \
  evdev virtio_input; do
  modprobe -d "$root" -S "$kver" --show-depends "$m" | awk '$1 == "insmod" {print $2}'
done | sort -u | while read -r ko; do
  rel=${ko#"$moddir"/}
  mkdir -p "$work/lib/modules/$kver/$(dirname "$rel")"
  cp "$ko" "$work/lib/modules/$kver/$rel"
done
cp "$moddir"/modules.order "$moddir"/modules.builtin "$moddir"/modules.builtin.modinfo \
  "$work/lib/modules/$kver/"
depmod -b "$work" "$kver"
# QEMU unpacks the gzip-compressed arm64 kernel itself.
cp "$vmlinuz" "$kit/Image"
# The build machine's busybox writes the archive (cpio is one of its applets).
(cd "$work" && find . | busybox cpio -o -H newc -R 0:0 2>/dev/null | gzip -1) >"$kit/initramfs.gz"
ln -sfn "$root" "$kit/root"
echo "$stamp" >"$kit/ready"
echo "arm64-vm-kit.sh: kernel $kver, initramfs $(stat -c %s "$kit/initramfs.gz") bytes in $kit" >&2
echo "$kit"
