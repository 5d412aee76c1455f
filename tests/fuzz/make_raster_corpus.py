#!/usr/bin/env python3
"""Writes the seed corpus of the raster fuzz target (corpus/raster/).

Each seed is a 16-byte header (flags: bits 0-2 sub-pixel bits, bit 3
even-odd, bit 4 a 5-6-5 bitmap, bit 5 pack the path, bit 6 stages, bit 7 a
paint buffer; width, height, dx, dy, clip x, y, width, height, clip and
scale flags, scale, paint buffer size, its origin, alpha), then path
records: an opcode byte (0 move, 1 line, 2 hidden line, 3 quadratic, 4
cubic, 5 close, 6 switch paths, 7 matrix; bit 3 for 32-bit coordinates)
and its coordinates (16-bit ones are multiplied by 16).
"""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.join(here, "corpus", "raster")
os.makedirs(out, exist_ok=True)


def header(flags, w, h, dx=0, dy=0, clip=(0, 0, 0, 0), cflags=2, scale=0, pw=0, ph=0, px=0, py=0, alpha=254):
    return bytes([flags, w, h, dx & 255, dy & 255, clip[0] & 255, clip[1] & 255, clip[2], clip[3], cflags, scale,
                  pw, ph, px & 255, py & 255, alpha])


def pt(*cs, wide=False):
    return b"".join(struct.pack("<i" if wide else "<h", c) for c in cs)


def move(x, y):
    return b"\x00" + pt(x, y)


def line(x, y):
    return b"\x01" + pt(x, y)


def hidden(x, y):
    return b"\x02" + pt(x, y)


def quad(*c):
    return b"\x03" + pt(*c)


def cubic(*c):
    return b"\x04" + pt(*c)


CLOSE = b"\x05"
SWITCH = b"\x06"


def matrix(a, b, c, d, tx, ty):
    return b"\x07" + struct.pack("<6i", a, b, c, d, tx, ty)


star = move(320, 16) + line(420, 620) + line(16, 250) + line(620, 250) + line(160, 620) + CLOSE
square = move(0, 0) + line(600, 0) + line(600, 600) + line(0, 600) + CLOSE
seeds = {
    "star_s2": header(0x02, 40, 40) + star,
    "star_even_odd_565": header(0x1B, 40, 40) + star,
    "ring_s3_packed": header(0x23, 40, 40) + square + move(150, 150) + line(150, 450) + line(450, 450) +
    line(450, 150) + CLOSE,
    "curves_open": header(0x01, 32, 32) + move(0, 0) + quad(600, -100, 500, 500) + cubic(200, 700, -300, 400, 0, 0),
    "hidden_lines": header(0x00, 16, 16) + move(0, 0) + line(0, 200) + hidden(200, 200) + line(200, 0) + CLOSE,
    "stages_clip": header(0x42, 39, 21, dx=3, dy=-2, clip=(2, 1, 30, 15), cflags=3) + star,
    "paint_buffer": header(0x83, 30, 30, pw=12, ph=9, px=4, py=5) + star,
    "matrix_rotated": header(0x02, 40, 40) + matrix(0xB5, 0xB5, -0xB5, 0xB5, 5000, 0) + star,
    "two_tables": header(0x01, 40, 40) + square + SWITCH + move(3000, 3000) + line(7000, 3400) + line(4000, 9000) + CLOSE,
    "wide_coordinates": header(0x0A, 20, 20) + b"\x08" + pt(-2 ** 31, -2 ** 31, wide=True) + b"\x09" +
    pt(2 ** 31 - 1, 0, wide=True) + b"\x0c" + pt(0, 2 ** 31 - 1, 2 ** 31 - 1, 2 ** 31 - 1, -5, 7, wide=True) + CLOSE,
    "scale_and_s4": header(0x04, 20, 20, cflags=0, scale=200) + star,
    "empty": header(0x00, 1, 1),
}
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
