#!/usr/bin/env python3
"""Writes the feature tour's sprite sheet hopper.png: 4 columns and 2 rows of 32 x 32 cells,
read row by row from the top left. Cell k shows a ball in mid-hop (higher towards the middle
of the sheet, its colour turning from red to blue) above k + 1 white pips that number the
frame, on a transparent ground. 8-bit RGBA."""
import colorsys
import struct
import sys
import zlib

CELL = 32
COLUMNS, ROWS = 4, 2
HOPS = (0, 5, 9, 11, 11, 9, 5, 0)  # the ball's height above its lowest place, by frame


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def cell_pixel(frame, x, y):
    """The colour of pixel (x, y) of a frame's cell, y counted from the top."""
    if 27 <= y <= 29 and x >= 2 and (x - 2) % 3 < 2 and (x - 2) // 3 <= frame:
        return (255, 255, 255, 255)
    cx, cy = 15.5, 17.5 - HOPS[frame]
    distance = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
    if distance > 9:
        return (0, 0, 0, 0)
    if distance > 7.8:
        return (20, 20, 30, 255)
    r, g, b = colorsys.hsv_to_rgb(frame / 7 * 0.66, 0.85, 1.0)
    shade = 1.0 if (x - cx) + (y - cy) < 0 else 0.8
    return (int(r * 255 * shade), int(g * 255 * shade), int(b * 255 * shade), 255)


def main(path):
    width, height = CELL * COLUMNS, CELL * ROWS
    rows = bytearray()
    for y in range(height):
        rows.append(0)  # filter type: none
        for x in range(width):
            frame = (y // CELL) * COLUMNS + x // CELL
            rows += bytes(cell_pixel(frame, x % CELL, y % CELL))
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as out:
        out.write(png)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: make_hopper_sheet.py OUTPUT.png")
    main(sys.argv[1])
