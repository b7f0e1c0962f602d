#!/usr/bin/env python3
"""Writes the player's fallback picture image_missing.png: a 32 x 32 checkerboard of
magenta and black squares of 8 pixels, opaque, 8-bit RGBA."""
import sys

from rgba_png import write_rgba_png

SIZE = 32
SQUARE = 8


def main(path):
    write_rgba_png(path, SIZE, SIZE, lambda x, y: (255, 0, 255, 255) if ((x // SQUARE) + (y // SQUARE)) % 2 == 0
                   else (0, 0, 0, 255))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: make_image_missing.py OUTPUT.png")
    main(sys.argv[1])
