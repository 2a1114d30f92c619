#!/usr/bin/env python3
"""vmlinux.py BZIMAGE OUT - the ELF kernel inside an x86 bzImage.

The bzImage carries the kernel compressed (xz in Debian's, gzip elsewhere);
QEMU boots the unpacked ELF through its PVH entry note."""
import lzma
import sys
import zlib


def payload(data):
    for magic in (b"\xfd7zXZ\x00", b"\x1f\x8b\x08"):
        at = data.find(magic)
        while at >= 0:
            try:
                if magic[0] == 0xFD:
                    out = lzma.LZMADecompressor(format=lzma.FORMAT_XZ).decompress(data[at:])
                else:
                    out = zlib.decompressobj(31).decompress(data[at:])
            except (lzma.LZMAError, zlib.error, EOFError):
                out = b""
            if out[:4] == b"\x7fELF":
                return out
            at = data.find(magic, at + 1)
    return None


def main():
    with open(sys.argv[1], "rb") as f:
        elf = payload(f.read())
    if elf is None:
        sys.exit("vmlinux.py: no compressed ELF kernel in %s" % sys.argv[1])
    with open(sys.argv[2], "wb") as f:
        f.write(elf)


if __name__ == "__main__":
    main()
