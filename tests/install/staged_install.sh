#!/usr/bin/env bash
# Installs the build into a staging folder (DESTDIR) and checks what a user
# gets there: a host program built against the staged syna with pkg-config
# and with find_package(syna) renders the same bytes as the in-tree library
# and, before its live calls, as syna-render; the library exports exactly
# what syna.h declares; the man pages cover every option of --help.
#     env: BUILD SOURCE SYNA_RENDER KESTOVAR HOST_REF WORK
set -euo pipefail
: "${BUILD:?}" "${SOURCE:?}" "${SYNA_RENDER:?}" "${KESTOVAR:?}" "${HOST_REF:?}" "${WORK:?}"
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$WORK" && mkdir -p "$WORK"
stage=$WORK/stage
# Staged as packagers do: the configured prefix, under DESTDIR.
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$BUILD/CMakeCache.txt")
DESTDIR=$stage cmake --install "$BUILD" >"$WORK/install.log"
top=$stage$prefix

so=$(find "$top" -name 'libsyna.so.[0-9]' -print -quit)
pc=$(find "$top" -name syna.pc -print -quit)
[ -n "$so" ] && [ -n "$pc" ] || fail "no libsyna.so.N or syna.pc in the staged install"
libdir=$(dirname "$so")
[ -f "$top/include/syna.h" ] || fail "no syna.h"
[ -f "$top/share/doc/kestovar/README.md" ] || fail "no README in the doc folder"
[ -f "$top/share/doc/kestovar/copyright" ] || fail "no copyright and licence statement in the doc folder"
[ "$(readelf -d "$so" | sed -n 's/.*\(soname: \[.*\]\).*/\1/p')" = "soname: [$(basename "$so")]" ] ||
  fail "$so does not carry its own name as SONAME"

# Exported: the functions and globals syna.h declares, no more, no less.
grep -oE '^[a-z][a-z *]* \*?syna_[a-z]+' "$top/include/syna.h" | grep -oE 'syna_[a-z]+$' |
  sort >"$WORK/declared"
nm -D --defined-only "$so" | awk '$2 ~ /^[TDBR]$/ {sub(/@.*/, "", $3); print $3}' | sort >"$WORK/exported"
diff "$WORK/declared" "$WORK/exported" >&2 || fail "exported symbols differ from syna.h (< declared, > exported)"

# The host program, both ways.
flags=$(PKG_CONFIG_LIBDIR=$(dirname "$pc") PKG_CONFIG_SYSROOT_DIR=$stage pkg-config --cflags --libs syna)
cc -Wall -Wextra -Werror -o "$WORK/host-pc" "$SOURCE/tests/install/host.c" $flags
cmake -S "$SOURCE/tests/install" -B "$WORK/cmake" -DCMAKE_PREFIX_PATH="$top" \
  -DCMAKE_BUILD_TYPE=Release >"$WORK/cmake.log"
case "$(grep '^syna_DIR:' "$WORK/cmake/CMakeCache.txt")" in
  *"=$stage/"*) ;;
  *) fail "find_package(syna) did not take the staged package" ;;
esac
cmake --build "$WORK/cmake" >>"$WORK/cmake.log"

song=$SOURCE/data/song.txt
frames=200000
"$HOST_REF" "$song" $frames "$WORK/ref.raw" >"$WORK/ref.txt"
"$SYNA_RENDER" --raw -n $((2 * frames)) -o "$WORK/plain.raw" "$song" >/dev/null
bytes=$((frames * 4))
cmp -n $bytes "$WORK/ref.raw" "$WORK/plain.raw" || fail "the host's render differs from syna-render's"
cmp -s "$WORK/ref.raw" "$WORK/plain.raw" && fail "the live-control calls changed nothing"
for host in host-pc cmake/host; do
  exe=$WORK/$host
  # (Whole outputs first: grep -q would stop reading, and pipefail would
  # count the writer's broken pipe as a failure.)
  dynamic=$(readelf -d "$exe")
  grep -q "NEEDED.*\[$(basename "$so")\]" <<<"$dynamic" || fail "$host does not link $(basename "$so")"
  loads=$(LD_LIBRARY_PATH=$libdir ldd "$exe")
  grep -q "$(basename "$so") => $libdir/" <<<"$loads" || fail "$host does not load the staged library"
  LD_LIBRARY_PATH=$libdir "$exe" "$song" $frames "$WORK/out.raw" >"$WORK/out.txt"
  cmp "$WORK/ref.raw" "$WORK/out.raw" || fail "$host renders other bytes than the in-tree library"
  cmp "$WORK/ref.txt" "$WORK/out.txt" || fail "$host reports another row or counter"
done

# Man pages: every option --help names appears in the page.
for program in kestovar syna-render; do
  page=$top/share/man/man1/$program.1.gz
  [ -f "$page" ] || fail "no man page $page"
  text=$(zcat "$page" | sed 's/\\-/-/g; s/\\f[BIRP]//g')
  exe=$SYNA_RENDER
  [ $program = kestovar ] && exe=$KESTOVAR
  for option in $("$exe" --help | grep -oE -- '--[a-z][a-z-]+' | sort -u); do
    grep -qF -- "$option" <<<"$text" || fail "$program.1 lacks $option"
  done
done
echo "staged install: library, pkg-config and CMake hosts, man pages: ok"
