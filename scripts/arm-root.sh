#!/usr/bin/env bash
# Makes (once) a Debian 12 userland for 64-bit (arm64) or 32-bit (armhf) Arm:
# the sysroot the demo is cross-built against, the library prefix it runs
# under with qemu-user, and (arm64) the root file system and kernel of the
# Arm virtual machine. Prints the root's path on stdout.
#
#     usage: arm-root.sh arm64|armhf [DIR]
#
# DIR defaults to $KESTOVAR_ARM_ROOTS/root-ARCH, with KESTOVAR_ARM_ROOTS
# /var/cache/kestovar for root and ~/.cache/kestovar for anyone else. A root
# that is already complete for the current package list is re-used; a
# changed list makes it anew.
#
# mmdebstrap only unpacks the packages (its "extract" variant) and keeps its
# apt state inside the target: this system's dpkg and apt architectures are
# never touched, and no Arm code runs while the root is made. Maintainer
# scripts do not run at all: on the build machine they would act on the
# build machine's own files. Instead every unpacked package is registered in
# the root's dpkg database as installed (control data, file lists, shlibs and
# symbols, no triggers), so that `dpkg --root`, `dpkg-shlibdeps --admindir`
# and a dpkg running inside the virtual machine see a normal system.
set -euo pipefail

usage() { echo "usage: $0 arm64|armhf [DIR]" >&2; exit 2; }

# Registers the packages in DEB... in ROOT's dpkg database as installed.
register_debs() {
  local root=$1; shift
  local admin=$root/var/lib/dpkg tmp deb pkg arch ma name f
  mkdir -p "$admin/info" "$admin/updates"
  touch "$admin/status" "$admin/available"
  # File names with ":arch" for Multi-Arch: same packages, as dpkg writes them.
  echo 1 >"$admin/info/format"
  tmp=$(mktemp -d)
  for deb in "$@"; do
    rm -rf "$tmp/ctl"
    dpkg-deb -e "$deb" "$tmp/ctl"
    read -r pkg arch ma < <(awk -F': *' '$1 == "Package" {p = $2} $1 == "Architecture" {a = $2}
      $1 == "Multi-Arch" {m = $2} END {print p, a, m}' "$tmp/ctl/control")
    name=$pkg
    [ "$ma" != same ] || name=$pkg:$arch
    {
      awk '{print} NR == 1 {print "Status: install ok installed"}' "$tmp/ctl/control"
      echo
    } >>"$admin/status"
    # The list of files as dpkg keeps it: "/." first, no trailing slashes.
    dpkg-deb --fsys-tarfile "$deb" | tar -t |
      sed -e 's|^\./|/|' -e 's|^/$|/.|' -e 's|\(.\)/$|\1|' >"$admin/info/$name.list"
    # Data only: the scripts never ran, so neither may their removal halves.
    for f in md5sums shlibs symbols conffiles; do
      [ ! -f "$tmp/ctl/$f" ] || cp "$tmp/ctl/$f" "$admin/info/$name.$f"
    done
  done
  rm -rf "$tmp"
}

if [ "${1:-}" = --register-debs ]; then
  shift
  root=$1
  shopt -s nullglob
  debs=("$root"/var/cache/apt/archives/*.deb)
  [ ${#debs[@]} -gt 0 ] || { echo "arm-root.sh: no packages to register in $root" >&2; exit 1; }
  register_debs "$root" "${debs[@]}"
  echo "arm-root.sh: registered ${#debs[@]} packages" >&2
  exit 0
fi

[ $# -ge 1 ] && [ $# -le 2 ] || usage
arch=$1
case "$arch" in
  arm64 | armhf) ;;
  *) usage ;;
esac

# What cross-building, testing and running the demo needs, and dpkg with
# the rest of the essential set so that packages install as on a real system.
pkgs=(
  '?essential' dpkg busybox-static
  libc6-dev libstdc++-12-dev
  libsdl1.2-dev libasound2-dev libegl-dev libgles-dev libx11-dev
  libdrm-dev libgbm-dev libevdev-dev
  libavcodec-dev libavformat-dev libswscale-dev libavutil-dev libpng-dev
  libhwy-dev libgtest-dev libgmock-dev libbenchmark-dev
  libegl-mesa0 libgl1-mesa-dri libgles1 libgles2 libgbm1 libsdl1.2debian alsa-utils
)
[ "$arch" != arm64 ] || pkgs+=(linux-image-arm64)
list=$(IFS=,; echo "${pkgs[*]}")
includes=()
for p in "${pkgs[@]}"; do includes+=(--include="$p"); done
# The stamp changes whenever the list or this script does.
stamp="bookworm $arch $list $(sha256sum <"$0" | cut -c1-16)"

if [ "$(id -u)" -eq 0 ]; then
  cache=${KESTOVAR_ARM_ROOTS:-/var/cache/kestovar}
else
  cache=${KESTOVAR_ARM_ROOTS:-${XDG_CACHE_HOME:-$HOME/.cache}/kestovar}
fi
dir=${2:-$cache/root-$arch}
mkdir -p "$(dirname "$dir")"
dir=$(cd "$(dirname "$dir")" && pwd)/$(basename "$dir")

# Several builds on one machine may ask for the same root at once: one makes
# it, the others wait for it.
exec 9>"$dir.lock"
flock 9
if [ -f "$dir/.kestovar-root" ] && [ "$(cat "$dir/.kestovar-root")" = "$stamp" ]; then
  echo "$dir"
  exit 0
fi

# The build machine's own mirror list when it has one (same mirror, same
# snapshot), else Debian's.
sources=()
for f in /etc/apt/sources.list.d/debian.sources /etc/apt/sources.list; do
  if [ -s "$f" ]; then
    sources=("$f")
    break
  fi
done

self=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
new=$dir.new
rm -rf "$new"
start=$(date +%s)
echo "arm-root.sh: making the $arch root in $dir (a few hundred MB download)" >&2
# Merged /usr (/bin a link to /usr/bin...), as on any Debian 12 system.
mmdebstrap --quiet --variant=extract --architectures="$arch" "${includes[@]}" \
  --hook-dir=/usr/share/mmdebstrap/hooks/merged-usr \
  --extract-hook="'$self' --register-debs \"\$1\"" \
  bookworm "$new" "${sources[@]}" >&2
# Unpacked without maintainer scripts, the root has no /bin/sh link of its own.
[ -e "$new/bin/sh" ] || ln -s dash "$new/bin/sh"
# The kernel's module index, which its package's maintainer script would make.
for m in "$new"/lib/modules/*; do
  [ ! -d "$m" ] || depmod -b "$new" "$(basename "$m")"
done
# What the maintainer scripts of base-passwd and mawk would have made: the
# user and group files, and awk.
[ -e "$new/etc/passwd" ] || cp "$new/usr/share/base-passwd/passwd.master" "$new/etc/passwd"
[ -e "$new/etc/group" ] || cp "$new/usr/share/base-passwd/group.master" "$new/etc/group"
[ -L "$new/usr/bin/awk" ] || update-alternatives --root "$new" --install /usr/bin/awk awk /usr/bin/mawk 5 >/dev/null
echo "$stamp" >"$new/.kestovar-root"
rm -rf "$dir"
mv "$new" "$dir"
echo "arm-root.sh: $arch root ready in $(($(date +%s) - start)) s, $(du -sh "$dir" | cut -f1)" >&2
echo "$dir"
