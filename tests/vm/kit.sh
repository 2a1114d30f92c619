#!/usr/bin/env bash
# Makes what the console VM test boots: a kernel and a small initramfs.
#     usage: kit.sh x86_64|arm64 KIT_DIR [ROOT]
# x86_64: Debian's current kernel package is fetched with apt-get download
# (never installed) and unpacked into KIT_DIR; its compressed payload is
# unpacked into an ELF vmlinux, which QEMU boots through the PVH entry
# (under plain emulation that skips seconds of in-guest decompression).
# arm64: the kernel, its modules and busybox come from ROOT, an arm64
# userland unpacked beside the build (the guest's root file system).
# The initramfs holds busybox-static, the modules for 9p, overlay, the
# virtual GPU, the HDA sound card and evdev keyboards, and tests/vm/init.
# Nothing is redone when KIT_DIR/ready names the same kernel and init.
set -euo pipefail
arch=${1:?usage: kit.sh x86_64|arm64 KIT_DIR [ROOT]}
kit=${2:?usage: kit.sh x86_64|arm64 KIT_DIR [ROOT]}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$kit"
kit=$(cd "$kit" && pwd)
mods="virtio_pci 9pnet_virtio 9p overlay virtio_gpu snd_hda_intel snd_hda_codec_generic evdev virtio_input"

case "$arch" in
  x86_64)
    pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/{print $2; exit}' || true)
    if [ -z "$pkg" ]; then
      apt-get update -qq
      pkg=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-[0-9]/{print $2; exit}')
    fi
    [ -n "$pkg" ] || { echo "kit.sh: no linux-image-amd64 in apt's lists (apt-get update?)" >&2; exit 1; }
    kver=${pkg#linux-image-}
    tree=$kit/kernel
    busybox=/bin/busybox
    kernel=$kit/vmlinux
    ;;
  arm64)
    root=${3:?kit.sh arm64 needs the arm64 root}
    vmlinuz=$(ls "$root"/boot/vmlinuz-*-arm64 2>/dev/null | sort -V | tail -1)
    [ -n "$vmlinuz" ] || { echo "kit.sh: no arm64 kernel in $root/boot" >&2; exit 1; }
    kver=${vmlinuz##*/vmlinuz-}
    tree=$root
    busybox=$root/bin/busybox
    kernel=$kit/Image
    ;;
  *) echo "kit.sh: unknown architecture $arch" >&2; exit 2 ;;
esac
stamp="$arch $kver $(sha256sum <"$here/init" | cut -c1-16)"
if [ "$(cat "$kit/ready" 2>/dev/null)" = "$stamp" ]; then exit 0; fi
rm -f "$kit/ready"

if [ "$arch" = x86_64 ]; then
  if [ ! -f "$tree/boot/vmlinuz-$kver" ]; then
    rm -rf "$tree" "$kit/dl" && mkdir -p "$kit/dl"
    (cd "$kit/dl" && apt-get download "$pkg" >/dev/null)
    dpkg-deb -x "$kit"/dl/"$pkg"_*.deb "$tree"
    rm -rf "$kit/dl"
  fi
  python3 "$here/vmlinux.py" "$tree/boot/vmlinuz-$kver" "$kernel"
else
  # QEMU unpacks a gzip-compressed arm64 Image itself.
  cp "$vmlinuz" "$kernel"
fi

[ -x "$busybox" ] || { echo "kit.sh: no static busybox at $busybox (busybox-static)" >&2; exit 1; }
moddir=$tree/lib/modules/$kver
if [ ! -f "$moddir/modules.dep" ]; then
  if [ "$arch" = x86_64 ]; then
    depmod -b "$tree" "$kver"
  else
    # The root is not ours to write to: the module index goes beside it.
    rm -rf "$kit/modules"
    mkdir -p "$kit/modules/lib/modules/$kver"
    ln -s "$moddir/kernel" "$kit/modules/lib/modules/$kver/kernel"
    cp "$moddir"/modules.order "$moddir"/modules.builtin "$moddir"/modules.builtin.modinfo \
      "$kit/modules/lib/modules/$kver/" 2>/dev/null || true
    tree=$kit/modules
    moddir=$tree/lib/modules/$kver
    depmod -b "$tree" "$kver"
  fi
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/lib/modules/$kver"
cp "$busybox" "$work/bin/busybox"
install -m 755 "$here/init" "$work/init"
for m in $mods; do
  # A module built into this kernel, or absent on this architecture, is
  # no error.
  modprobe -d "$tree" -S "$kver" --show-depends "$m" 2>/dev/null | awk '$1=="insmod"{print $2}' || true
done | sort -u | while read -r ko; do
  rel=${ko#"$moddir"/}
  mkdir -p "$work/lib/modules/$kver/$(dirname "$rel")"
  cp "$ko" "$work/lib/modules/$kver/$rel"
done
cp "$moddir"/modules.order "$moddir"/modules.builtin "$moddir"/modules.builtin.modinfo \
  "$work/lib/modules/$kver/" 2>/dev/null || true
depmod -b "$work" "$kver"
# The build machine's busybox writes the archive, whatever the guest's is.
(cd "$work" && find . | /bin/busybox cpio -o -H newc 2>/dev/null | gzip -1) >"$kit/initramfs.gz"
echo "$stamp" >"$kit/ready"
echo "kit.sh: $arch kernel $kver in $kit" >&2
