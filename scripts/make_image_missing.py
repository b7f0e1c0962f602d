#!/usr/bin/env python3
"""Writes the player's fallback picture image_missing.png: a 32 x 32 checkerboard of
magenta and black squares of 8 pixels, opaque, 8-bit RGBA."""
import struct
import sys
import zlib

SIZE = 32
SQUARE = 8


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def main(path):
    rows = bytearray()
    for y in range(SIZE):
        rows.append(0)  # filter type: none
        for x in range(SIZE):
            on = ((x // SQUARE) + (y // SQUARE)) % 2 == 0
            rows += bytes((255, 0, 255, 255) if on else (0, 0, 0, 255))
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(rows))) + chunk(b"IEND", b"")
    with open(path, "wb") as out:
        out.write(png)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: make_image_missing.py OUTPUT.png")
    main(sys.argv[1])
