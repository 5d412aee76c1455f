#!/usr/bin/env python3
"""Writes the seed corpus of the inflate fuzz target (corpus/inflate/).

Each seed is: a flags byte (bit 0: also read the data as zlib-wrapped), a
byte that seeds the window sizes, then the data.
"""
import os
import zlib

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.join(here, "corpus", "inflate")
os.makedirs(out, exist_ok=True)

text = b"".join(b"line %d of some text that repeats itself a little\n" % i for i in range(60))


def raw(data, level=6, strategy=zlib.Z_DEFAULT_STRATEGY):
    c = zlib.compressobj(level, zlib.DEFLATED, -15, 8, strategy)
    return c.compress(data) + c.flush()


def wrapped(data, level=6):
    return zlib.compress(data, level)


seeds = {
    "raw_text": b"\x00\x07" + raw(text),
    "raw_stored": b"\x00\x01" + raw(text[:700], 0),
    "raw_fixed": b"\x00\x02" + raw(text[:300], 6, zlib.Z_FIXED),
    "raw_rle": b"\x00\x03" + raw(b"\x00" * 2000 + b"\xff" * 500, 6, zlib.Z_RLE),
    "raw_truncated": b"\x00\x04" + raw(text)[:100],
    "raw_trailing": b"\x00\x05" + raw(b"short") + b"garbage after the end",
    "raw_empty_stream": b"\x00\x06" + raw(b""),
    "raw_bad_block": b"\x00\x08\x07\x00\x00",
    "zlib_text": b"\x01\x09" + wrapped(text),
    "zlib_bad_check": b"\x01\x0a" + wrapped(text)[:-1] + b"\x00",
    "zlib_big": b"\x01\x0b" + wrapped(b"z" * 100000, 9),
    "empty": b"\x01\x00",
}
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
