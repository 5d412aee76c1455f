#!/usr/bin/env python3
"""Makes the identity screen's two pictures: portrait.bmp (200 x 240) and
landscape.bmp (280 x 180), 4-bit BMP files with a palette of five colours.

Each shows a stylised document sheet with a folded corner and a few text
lines over a dark blue ground, with a coloured band below it. The pictures
leave room for the notice line under them on a 240 x 320 or 320 x 240
screen.

Run from this directory: python3 make_pictures.py
"""
import struct

GROUND = (24, 38, 64)
SHEET = (236, 240, 245)
FOLD = (180, 190, 205)
LINE = (120, 135, 160)
BAND = (230, 140, 40)


def picture(width, height):
    px = [[GROUND] * width for _ in range(height)]
    sw, sh = width * 2 // 5, height * 3 // 5
    x0, y0 = (width - sw) // 2, height // 8
    fold = sw // 4
    for y in range(y0, y0 + sh):
        for x in range(x0, x0 + sw):
            dx, dy = x - (x0 + sw - fold), y - y0
            if dx >= 0 and dy < fold:
                if dx > dy:
                    continue  # cut corner
                px[y][x] = FOLD
            else:
                px[y][x] = SHEET
    for i in range(5):
        ly = y0 + fold + 8 + i * (sh - fold - 16) // 5
        lw = sw - 20 if i % 3 else sw * 2 // 3
        for y in range(ly, ly + 3):
            for x in range(x0 + 10, x0 + 10 + lw - 10):
                px[y][x] = LINE
    by = y0 + sh + height // 10
    for y in range(by, min(height, by + max(4, height // 30))):
        for x in range(width // 6, width * 5 // 6):
            px[y][x] = BAND
    return px


def write_bmp(name, px):
    height, width = len(px), len(px[0])
    colours = [GROUND, SHEET, FOLD, LINE, BAND]
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in colours) + b"\0" * 4 * (16 - len(colours))
    row = ((width + 1) // 2 + 3) & ~3
    data = bytearray()
    for y in range(height - 1, -1, -1):
        line = bytearray()
        idx = [colours.index(c) for c in px[y]] + [0]
        for x in range(0, width, 2):
            line.append((idx[x] << 4) | idx[x + 1])
        line += b"\0" * (row - len(line))
        data += line
    offset = 54 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(data), 2835, 2835, 16, 0)
    with open(name, "wb") as f:
        f.write(header + info + palette + data)


write_bmp("portrait.bmp", picture(200, 240))
write_bmp("landscape.bmp", picture(280, 180))
