#!/usr/bin/env python3
"""Writes the seed corpus of the heap fuzz target (corpus/heap/)."""
import os
import random

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.join(here, "corpus", "heap")
os.makedirs(out, exist_ok=True)


def op(kind, slot, n):
    return bytes([(slot << 2) | kind, n & 0xFF, (n >> 8) & 0xFF])


def script(mode, ops):
    return bytes([0x80 if mode else 0]) + b"".join(ops)


rng = random.Random(1)
seeds = {
    "empty": b"",
    "one_malloc": script(0, [op(0, 0, 1)]),
    "split_and_merge": script(0, [op(0, i, 120) for i in range(4)] + [op(3, 0, 0), op(3, 2, 0), op(3, 1, 0)]),
    "realloc_down": script(0, [op(0, 0, 200), op(0, 1, 200), op(0, 2, 8), op(3, 0, 0), op(2, 1, 40)]),
    "small_mode_growth": script(1, [op(0, i, 0x7F00 | 0x80) for i in range(8)]),
    "huge_request": script(0, [op(0, 0, 0xFFFF), op(2, 0, 0xFFFF), op(1, 1, 0xFFFF)]),
}
for i in range(4):
    seeds["random_%d" % i] = script(i & 1, [op(rng.randrange(4), rng.randrange(64), rng.randrange(4096)) for _ in range(400)])
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
