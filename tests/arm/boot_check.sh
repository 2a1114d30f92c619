#!/usr/bin/env bash
# Boots the arm64 kit (scripts/arm64-vm-kit.sh) in qemu-system-aarch64 with
# a virtual GPU and an HDA sound card and checks what the guest reports:
# its kernel runs, the drivers load and find their devices, and the arm64
# root mounts and runs its own programs.
#     usage: boot_check.sh KIT_DIR LOG
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 KIT_DIR LOG" >&2; exit 2; }
kit=$1 log=$2
rm -f "$log"
start=$(date +%s)
# Generous: a boot takes 5-30 s under plain emulation on a busy machine.
timeout 300 qemu-system-aarch64 -M virt -accel tcg -cpu cortex-a72 -m 512 -smp 1 \
  -nodefaults -no-user-config -no-reboot -display none \
  -device virtio-gpu-pci -audiodev none,id=snd0 -device intel-hda -device hda-duplex,audiodev=snd0 \
  -kernel "$kit/Image" -initrd "$kit/initramfs.gz" -append "console=ttyAMA0 loglevel=4 panic=-1" \
  -virtfs "local,path=$(readlink -f "$kit/root"),mount_tag=root,security_model=none,readonly=on,multidevs=remap" \
  -serial "file:$log" || { echo "boot_check: qemu failed or timed out" >&2; exit 1; }
status=0
for want in "BOOT-CHECK kernel .* aarch64" "BOOT-CHECK root says aarch64" \
  "BOOT-CHECK device /dev/dri/card0" "BOOT-CHECK device /dev/snd/pcmC0D0p" "BOOT-CHECK-END"; do
  grep -q "^$want" "$log" || { echo "boot_check: FAIL: no \"$want\" in $log" >&2; status=1; }
done
if grep "BOOT-CHECK FAIL" "$log" >&2; then status=1; fi
[ $status -ne 0 ] || echo "boot_check: the arm64 kit boots ($(($(date +%s) - start)) s)"
exit $status
