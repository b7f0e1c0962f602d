#!/usr/bin/env python3
"""Writes the feature tour's sprite sheet hopper.png: 4 columns and 2 rows of 32 x 32 cells,
read row by row from the top left. Cell k shows a ball in mid-hop (higher towards the middle
of the sheet, its colour turning from red to blue) above k + 1 white pips that number the
frame, on a transparent ground. 8-bit RGBA."""
import colorsys
import sys

from rgba_png import write_rgba_png

CELL = 32
COLUMNS, ROWS = 4, 2
HOPS = (0, 5, 9, 11, 11, 9, 5, 0)  # the ball's height above its lowest place, by frame



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
    write_rgba_png(path, CELL * COLUMNS, CELL * ROWS,
                   lambda x, y: cell_pixel((y // CELL) * COLUMNS + x // CELL, x % CELL, y % CELL))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: make_hopper_sheet.py OUTPUT.png")
    main(sys.argv[1])
