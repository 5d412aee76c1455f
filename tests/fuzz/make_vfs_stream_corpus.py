#!/usr/bin/env python3
"""Writes the seed corpus of the stream fuzz target (corpus/vfs_stream/)."""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.join(here, "corpus", "vfs_stream")
os.makedirs(out, exist_ok=True)


def script(steps, payload):
    return bytes([len(steps)]) + b"".join(bytes([op, arg]) for op, arg in steps) + payload


def table(count, values, pad=b""):
    return struct.pack(">III", 0xCAFE, 1, count) + b"".join(struct.pack(">I", v) for v in values) + pad


seeds = {
    "empty": b"",
    "reads": script([(0, 3), (4, 0), (0, 200), (4, 0)], bytes(range(256)) * 40),
    "seeks": script([(1, 140), (4, 0), (1, 1), (4, 0), (1, 130), (1, 128 + 2), (2, 5), (4, 0)], b"0123456789" * 30),
    "clone_while_reading": script([(0, 1), (3, 0), (2, 3), (4, 0)], b"clone me"),
    "table": script([], table(3, [1, 2, 3])),
    "table_too_big": script([], table(65, [])),
    "table_short": script([(0, 2)], table(4, [9, 9])),
    "name_png": script([], "photo.PNG".encode("utf-16-le")),
    "name_mime": script([], "application/x-javascript".encode("utf-16-le")),
}
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
