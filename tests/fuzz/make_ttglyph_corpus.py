#!/usr/bin/env python3
"""Writes the seed corpora of the glyph-loader and width-table fuzz targets
(corpus/ttglyph/ and corpus/fontpack_widths/).

ttglyph seed: flag byte, units per em (16-bit), glyph count g, g + 1 glyph
offsets (16-bit), then the 'glyf' bytes. The seeds take the 'glyf' tables
of the committed font subsets (tests/fixtures/fonts/) and add hand-built
composites that contain themselves or each other, point matching, the
three scale forms, and bad flag repeats.

fontpack_widths seed: flag byte, units per em (16-bit), then the table: the
committed width-table fixtures.
"""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))
fonts = os.path.join(here, "..", "fixtures", "fonts")


def out_dir(name):
    d = os.path.join(here, "corpus", name)
    os.makedirs(d, exist_ok=True)
    return d


def glyph_seed(flags, upem, glyphs_or_offsets, glyf):
    offsets = glyphs_or_offsets
    return (struct.pack(">BHB", flags, upem, len(offsets) - 1) +
            b"".join(struct.pack(">H", o) for o in offsets) + glyf)


def from_font(path, limit):
    data = open(path, "rb").read()
    n = struct.unpack(">H", data[4:6])[0]
    tables = {}
    for i in range(n):
        tag, _, off, length = struct.unpack(">4sIII", data[12 + 16 * i:28 + 16 * i])
        tables[tag] = (off, length)
    head, maxp, loca, glyf = (tables[t][0] for t in (b"head", b"maxp", b"loca", b"glyf"))
    glyf_len = tables[b"glyf"][1]
    count = struct.unpack(">H", data[maxp + 4:maxp + 6])[0]
    long_offsets = struct.unpack(">h", data[head + 50:head + 52])[0]
    offsets = []
    for g in range(count + 1):
        if long_offsets:
            offsets.append(struct.unpack(">I", data[loca + 4 * g:loca + 4 * g + 4])[0])
        else:
            offsets.append(2 * struct.unpack(">H", data[loca + 2 * g:loca + 2 * g + 2])[0])
    upem = struct.unpack(">H", data[head + 18:head + 20])[0]
    offsets = [o for o in offsets if o < 65536][:limit + 1]
    return upem, offsets, data[glyf:glyf + min(glyf_len, 65535)]


def header(contours):
    return struct.pack(">hhhhh", contours, 0, 0, 0, 0)


def simple(ends, points):
    b = header(len(ends)) + b"".join(struct.pack(">H", e) for e in ends) + struct.pack(">H", 0)
    b += bytes(1 if on else 0 for (_, _, on) in points)
    lx = ly = 0
    xs = ys = b""
    for (x, y, _) in points:
        xs += struct.pack(">h", x - lx)
        ys += struct.pack(">h", y - ly)
        lx, ly = x, y
    return b + xs + ys


def composite(components):
    b = header(-1)
    for i, (flags, glyph, a1, a2, scales) in enumerate(components):
        if i + 1 < len(components):
            flags |= 0x20
        b += struct.pack(">HH", flags, glyph)
        b += struct.pack(">hh", a1, a2) if flags & 1 else struct.pack(">bb", a1, a2)
        b += b"".join(struct.pack(">h", s) for s in scales)
    return b


def table(glyphs):
    glyf = b""
    offsets = []
    for g in glyphs:
        offsets.append(len(glyf))
        glyf += g + (b"\0" if len(g) % 2 else b"")
    offsets.append(len(glyf))
    return offsets, glyf


base = simple([3], [(0, 0, 1), (100, 0, 1), (100, -50, 0), (-7, 300, 1)])
mark = simple([1], [(10, 20, 1), (-3, 7, 0)])
hand = {
    "components": [base, mark,
                   composite([(0x2, 0, 0, 0, []), (0x0, 1, 1, 0, []), (0xA, 1, 3, 3, [0x2000]),
                              (0x43, 1, -300, 400, [0x5000, -0x2000]),
                              (0x82, 1, 7, -7, [0x3000, 0x400, -0x800, 0x5000])]),
                   composite([(0x2, 2, 0, 0, []), (0x1, 1, 3, 1, [])])],
    "self_and_mutual": [base, composite([(0x2, 1, 0, 0, [])]), composite([(0x2, 3, 0, 0, [])]),
                        composite([(0x2, 2, 0, 0, [])])],
    "bad_flags": [header(1) + struct.pack(">HH", 2, 0) + b"\x39\x03" + b"\0" * 8,
                  header(1) + struct.pack(">HH", 0xFFFF, 0), header(0), header(2) + b"\x00"],
    "doubling": [simple([0], [(1, 1, 1)])] + [composite([(0x2, k, 0, 0, []), (0x2, k, 5, 0, [])])
                                               for k in range(14)],
}

d = out_dir("ttglyph")
for name, glyphs in hand.items():
    offsets, glyf = table(glyphs)
    for flags in (0, 2):
        with open(os.path.join(d, "%s_%d" % (name, flags)), "wb") as f:
            f.write(glyph_seed(flags, 2048 if flags else 0, offsets, glyf))
for font in ("dejavu-sans", "liberation-sans"):
    upem, offsets, glyf = from_font(os.path.join(fonts, font + ".ttf"), 255)
    with open(os.path.join(d, font), "wb") as f:
        f.write(glyph_seed(2, upem, offsets, glyf))

d = out_dir("fontpack_widths")
for name in sorted(os.listdir(fonts)):
    if name.startswith("widths-"):
        data = open(os.path.join(fonts, name), "rb").read()
        flags = 1 if name == "widths-le.bin" else 0
        with open(os.path.join(d, name[:-4]), "wb") as f:
            f.write(struct.pack(">BH", flags, 2048) + data)
with open(os.path.join(d, "claims_more"), "wb") as f:
    f.write(struct.pack(">BH", 2, 1000) + open(os.path.join(fonts, "widths-be.bin"), "rb").read())
