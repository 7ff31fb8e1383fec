#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Turns QEMU's screendump (binary PPM) into a PNG: ppm-to-png.py PPM PNG.

Ends with status 1 when the picture is all black (the console was being taken over just
then), so that the caller takes it again."""
import struct
import sys
import zlib


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def main():
    with open(sys.argv[1], "rb") as ppm:
        data = ppm.read()
    parts = data.split(b"\n", 3)
    width, height = map(int, parts[1].split())
    pixels = parts[3]
    rows = b"".join(b"\0" + pixels[y * width * 3:(y + 1) * width * 3] for y in range(height))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    with open(sys.argv[2], "wb") as png:
        png.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 6))
                  + chunk(b"IEND", b""))
    sys.exit(0 if pixels.strip(b"\0") else 1)


if __name__ == "__main__":
    main()
