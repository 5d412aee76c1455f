#!/usr/bin/env python3
"""Writes the seed corpus of the stroke fuzz target (corpus/stroke/): every
join with every cap on polylines, closed shapes, curves, hidden-line breaks
and zero-length pieces; dash patterns (ordinary, odd, with zero lengths,
with a period below one unit, a first length of 0); a clip rectangle; each
matrix kind; and a few with extreme values (near-reversals at the edge of
the coordinate range, huge pens).

Layout (big-endian): style byte, mode byte, width, miter limit, arrow half
width, arrow length, dash scale (32 bits each), dash count and 16-bit
lengths, six matrix words (mode kind 3), four clip words (style bit 7), then
elements: opcode byte (0 move, 1 line, 2 hidden line, 3 quadratic, 4 cubic,
5 close) and 32-bit coordinates. Without the extreme bit the target shifts
coordinates right by 15, so they are written here times 32768.
"""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.join(here, "corpus", "stroke")
os.makedirs(out, exist_ok=True)

S = 32768  # the target's moderate-mode shift


def seed(name, join=0, start=0, end=0, mode=0, width=4000, limit=16000, arrow=(3000, 6000), scale=0x10000,
         dash=None, matrix=None, clip=None, elements=(), raw=False):
    style = join | start << 2 | end << 4 | (0x40 if dash is not None else 0) | (0x80 if clip else 0)
    b = struct.pack(">BBiiiii", style, mode, width, limit, arrow[0], arrow[1], scale)
    dash = dash or []
    b += struct.pack(">B", len(dash)) + b"".join(struct.pack(">h", v) for v in dash)
    if (mode >> 1) & 3 == 3:
        b += b"".join(struct.pack(">i", v) for v in matrix)
    if clip:
        b += b"".join(struct.pack(">i", v) for v in clip)
    for op, *pts in elements:
        b += struct.pack(">B", op) + b"".join(struct.pack(">i", v if raw else v * S) for v in pts)
    with open(os.path.join(out, name), "wb") as f:
        f.write(b)


M, L, H, Q, C, Z = range(6)
zigzag = [(M, 0, 0), (L, 3000, 9000), (L, 6000, 0), (L, 9000, 8000), (L, 12000, 7000)]
square = [(M, 0, 0), (L, 8000, 0), (L, 8000, 8000), (L, 0, 8000), (Z,)]
circle = [(M, 8000, 4000), (C, 8000, 6200, 6200, 8000, 4000, 8000), (C, 1800, 8000, 0, 6200, 0, 4000),
          (C, 0, 1800, 1800, 0, 4000, 0), (C, 6200, 0, 8000, 1800, 8000, 4000), (Z,)]
quads = [(M, 0, 8000), (Q, 2000, 0, 4000, 4000), (Q, 6000, 9000, 8000, 1000)]
hidden = [(M, 0, 0), (L, 8000, 0), (H, 8000, 8000), (L, 0, 8000), (Z,)]
zero = [(M, 0, 0), (L, 5000, 5000), (L, 5000, 5000), (L, 9000, 0), (M, 100, 100), (L, 100, 100)]
subpaths = [(M, 0, 0), (L, 3000, 3000), (M, 5000, 0), (L, 9000, 2000), (L, 6000, 6000), (Z,), (M, 1, 1)]

for join in range(3):
    for cap in range(4):
        seed("zigzag-j%d-c%d" % (join, cap), join=join, start=cap, end=3 - cap, elements=zigzag)
seed("square-miter", elements=square, mode=2)
seed("circle-round", join=1, start=1, end=1, elements=circle, mode=4)
seed("quads-bevel", join=2, start=2, end=2, elements=quads)
seed("hidden-break", elements=hidden, start=3, end=3)
seed("zero-pieces", join=1, start=1, end=1, elements=zero)
seed("subpaths", join=0, start=2, end=0, elements=subpaths)
seed("bad-join", join=3, elements=zigzag)
seed("matrix-words", mode=6, matrix=(0x8000, 0x4000, -0x4000, 0x8000, 5000, -7000), elements=circle)
seed("dash-ordinary", dash=[1000, 500], elements=square, join=0)
seed("dash-odd", dash=[700, 300, 200], elements=circle, join=1, start=1, end=1)
seed("dash-zeros", dash=[0, 500, 300, 0], elements=zigzag)
seed("dash-first-long", dash=[2000, 0], elements=quads, start=2, end=2)
seed("dash-tiny-period", dash=[1, 1], scale=0x4000, elements=square)
seed("dash-scale-zero", dash=[500, 500], scale=0, elements=zigzag)
seed("dash-scale-negative", dash=[500, 500], scale=-0x10000, elements=hidden)
seed("clip-curves", clip=(20000 * S, 0, 30000 * S, 10000 * S), elements=quads + circle, join=1)
seed("extreme-reversal", mode=1, width=2000000, limit=0x7FFFFFFF, raw=True,
     elements=[(M, 0, 0), (L, 0x7FFFF000, 0), (L, 0, 1), (L, -0x80000000, 0x7FFFFFFF), (Z,)])
seed("extreme-edge", mode=1, width=4000, limit=100000, raw=True,
     elements=[(M, 0x7FFFF000, 0), (L, 0x7FFFF830, 0), (L, 0x7FFFD000, 5000), (L, 0x7FFFFFFF, -0x80000000)])
seed("extreme-dash", mode=1, width=100, dash=[-5, 3], scale=0x7FFFFFFF, raw=True,
     elements=[(M, -0x7FFFFFFF, 0), (L, 0x7FFFFFFF, 0), (Q, 0, 0x7FFFFFFF, -0x80000000, -0x80000000)])
seed("extreme-matrix", mode=7, matrix=(0x7FFFFFFF, -0x80000000, 0x7FFFFFFF, 0x7FFFFFFF, 0, 0), width=-7, raw=True,
     arrow=(-0x80000000, 0x7FFFFFFF), start=3, end=3, elements=zigzag)
