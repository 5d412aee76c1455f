#!/usr/bin/python3
"""Seed corpora of the wmf, emf and glyphrun fuzz targets.

The metafile seeds are the playback fixtures (tests/fixtures/metafile),
each behind an option byte; the glyph-run seeds are strings written by hand
in the byte code of the glyph-run writer.
"""
import os

here = os.path.dirname(os.path.abspath(__file__))
fixtures = os.path.join(here, "..", "fixtures", "metafile")


def write(target, name, data):
    folder = os.path.join(here, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


for name in sorted(os.listdir(fixtures)):
    kind = name.rsplit(".", 1)[-1]
    if kind not in ("wmf", "emf"):
        continue
    with open(os.path.join(fixtures, name), "rb") as f:
        data = f.read()
    base = name.rsplit(".", 1)[0]
    write(kind, base, bytes([0]) + data)
    write(kind, base + "_framed", bytes([3]) + data)

glyph_runs = {
    "ascii": bytes([0x15, 0x0A, 0x14, 0x41, 0x42, 0x11, 0x00, 0x43]),
    "spacing": bytes([0x04, 0x00, 0x9C, 0x40, 0x05, 0xFF, 0xFB, 0x12, 0xC8, 0x00, 0x61]),
    "wide_hole": bytes([0x11, 0x00, 0x00, 0x02, 0xE9, 0x00, 0x11, 0x05, 0x41, 0x42]),
    "counted": bytes([0x11, 0x01, 0x10, 0x02, 0x00, 0x4E, 0x8C, 0x4E]),
    "long_count": bytes([0x11, 0x01, 0x01, 0x02, 0x00, 0x00]) + bytes([0x16, 0x04]) * 2,
    "cut": bytes([0x1F, 0x01, 0x02]),
}
for name, data in glyph_runs.items():
    write("glyphrun", name, data)
