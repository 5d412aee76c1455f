#!/usr/bin/env python3
"""Writes the seed corpus of the TrueType reader's fuzz target
(corpus/truetype/): an option byte, then a font file. The seeds are the
committed fonts of tests/fixtures/fonts/ (the synthetic TrueType files and
font packs, and the two font subsets), each with option 0, the symbol
font also with the symbol pairs (0x20) and the Mac/Windows font with the
preferred rank 60 (option 1) and as an embedded font (0x10).
"""
import os

here = os.path.dirname(os.path.abspath(__file__))
fonts = os.path.join(here, "..", "fixtures", "fonts")
out = os.path.join(here, "corpus", "truetype")
os.makedirs(out, exist_ok=True)

extra = {"tt-symbol.ttf": [0x20], "tt-macwin.ttf": [1, 0x10]}
for name in sorted(os.listdir(fonts)):
    if not name.endswith((".ttf", ".ffs")):
        continue
    with open(os.path.join(fonts, name), "rb") as f:
        data = f.read()
    stem = name.rsplit(".", 1)[0]
    for option in [0] + extra.get(name, []):
        with open(os.path.join(out, "%s_%02x" % (stem, option)), "wb") as f:
            f.write(bytes([option]) + data)
