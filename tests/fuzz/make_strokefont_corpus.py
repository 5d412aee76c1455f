#!/usr/bin/env python3
"""Writes the seed corpus of the stroke-font fuzz target: the glyphs of the
synthetic pack tests/fixtures/fontpack/stroke.ffs in the target's input
form (style byte, the two stroke settings, glyph count, offsets, data), in
regular and bold weights, plus truncated and garbled variants."""
import os
import struct
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "fixtures", "fontpack"))
import make_fontpack as fp  # noqa: E402

out_dir = os.path.join(here, "corpus", "strokefont")
os.makedirs(out_dir, exist_ok=True)
data = fp.glyph_data()
offsets = [fp.SLOT * g for g in range(fp.GLYPHS + 1)]


def case(style, data, offsets):
    head = bytes([style, 6, 10, len(offsets) - 1])
    return head + b"".join(struct.pack(">H", o) for o in offsets) + data


cases = {
    "pack_regular": case(3, data, offsets),
    "pack_bold": case(7, data, offsets),
    "truncated": case(3, data[:fp.SLOT * 2 + 5], offsets),
    "unsorted": case(3, data, list(reversed(offsets))),
    "garbled": case(3, bytes((b * 37 + 11) & 0xFF for b in data), offsets),
}
for name, body in cases.items():
    with open(os.path.join(out_dir, name), "wb") as f:
        f.write(body)
