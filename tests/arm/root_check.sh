#!/usr/bin/env bash
# Checks the dpkg database scripts/arm-root.sh writes into an Arm root: it
# is consistent, its file lists and checksums match what is unpacked, it
# answers which package owns a library, and dpkg --root resolves a new
# package's dependencies against it (dry runs: the root is not changed).
#     usage: root_check.sh arm64|armhf ROOT
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 arm64|armhf ROOT" >&2; exit 2; }
arch=$1 root=$2
case "$arch" in
  arm64) triple=aarch64-linux-gnu ;;
  armhf) triple=arm-linux-gnueabihf ;;
  *) echo "root_check.sh: unknown architecture $arch" >&2; exit 2 ;;
esac
status=0
fail() {
  echo "root_check: FAIL: $*" >&2
  status=1
}

out=$(dpkg --root="$root" --audit 2>&1) || fail "dpkg --audit exits non-zero"
[ -z "$out" ] || fail "dpkg --audit: $out"
# Every file of these packages where the list says, with its checksum.
out=$(dpkg --root="$root" --verify libc6 libsdl1.2debian libgles1 libegl-mesa0 dpkg 2>&1) ||
  fail "dpkg --verify exits non-zero"
[ -z "$out" ] || fail "dpkg --verify: $out"
owner=$(dpkg-query --root="$root" -S "/usr/lib/$triple/libSDL-1.2.so.0" 2>&1 | cut -d: -f1)
[ "$owner" = libsdl1.2debian ] || fail "the SDL library's owner is \"$owner\""
[ -s "$root/var/lib/dpkg/info/libsdl1.2debian:$arch.shlibs" ] || fail "no shlibs of libsdl1.2debian"
grep -q '^root:[^:]*:0:0:' "$root/etc/passwd" || fail "no root user in /etc/passwd"
[ "$(readlink "$root/etc/alternatives/awk")" = /usr/bin/mawk ] || fail "no awk"

# Two packages of the root's architecture: one needs what is installed, the
# other something that is not.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
make_deb() { # NAME DEPENDS
  mkdir -p "$work/$1/DEBIAN" "$work/$1/usr/share/doc/$1"
  echo "$1" >"$work/$1/usr/share/doc/$1/README"
  printf 'Package: %s\nVersion: 1\nArchitecture: %s\nMaintainer: Kestovar <kestovar@localhost>\nDepends: %s\nDescription: root check\n dependency check of the Arm root\n' \
    "$1" "$arch" "$2" >"$work/$1/DEBIAN/control"
  dpkg-deb --root-owner-group -b "$work/$1" "$work/$1.deb" >/dev/null
}
make_deb kestovar-root-check-good "libsdl1.2debian (>= 1.2), libgles1, libc6 (>= 2.36)"
make_deb kestovar-root-check-bad "libsdl1.2debian, kestovar-no-such-package"
mkdir -p "$work/inst/var/lib"
cp -a "$root/var/lib/dpkg" "$work/inst/var/lib/"
install=(dpkg --instdir="$work/inst" --admindir="$work/inst/var/lib/dpkg" -i)
"${install[@]}" "$work/kestovar-root-check-good.deb" >"$work/good.log" 2>&1 ||
  fail "a package needing installed libraries does not install: $(cat "$work/good.log")"
if "${install[@]}" "$work/kestovar-root-check-bad.deb" >"$work/bad.log" 2>&1; then
  fail "a package needing a missing package installs"
elif ! grep -q kestovar-no-such-package "$work/bad.log"; then
  fail "the missing dependency is not named: $(cat "$work/bad.log")"
fi
[ $status -ne 0 ] || echo "root_check: the $arch root's dpkg database holds"
exit $status
