#!/usr/bin/env python3
"""Writes the seed corpus of the byte-stream fuzz target (corpus/bytestream/).

Each seed is: the number of steps (low 5 bits), three bytes per step
{operation, a, b} (a and b make a count a * 256 + b), then the payload.
"""
import os
import random

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.join(here, "corpus", "bytestream")
os.makedirs(out, exist_ok=True)
rng = random.Random(4)


def script(steps, payload):
    return bytes([len(steps)]) + b"".join(bytes([op, a, b]) for op, a, b in steps) + payload


def payload(n):
    return bytes(rng.getrandbits(8) for _ in range(n))


seeds = {
    "empty": script([], b""),
    "reads": script([(0, 0, 0), (1, 0, 200), (4, 0, 0), (1, 20, 0), (4, 0, 0), (0, 0, 0)], payload(9000)),
    "skips_and_seeks": script([(2, 0, 50), (3, 0, 10), (4, 0, 0), (3, 40, 0), (0, 0, 0), (2, 255, 255)],
                              payload(5000)),
    "peek": script([(6, 0, 8), (6, 0, 100), (1, 0, 3), (4, 0, 0), (6, 20, 0), (5, 0, 1), (7, 0, 0), (4, 0, 0)],
                   payload(6000)),
    "drain": script([(1, 0, 77), (7, 0, 0), (4, 0, 0), (0, 0, 0)], payload(3000)),
    "windows": script([(0, 0, 10), (1, 0, 0), (2, 0, 0), (3, 0, 0), (4, 1, 0), (5, 0, 5), (0, 3, 7), (3, 0, 0)],
                      payload(1200)),
    "window_past_end": script([(0, 255, 255), (1, 0, 0), (0, 0, 1), (3, 0, 0)], payload(64)),
    "tiny": script([(0, 0, 0), (1, 0, 0), (2, 0, 0), (3, 0, 0), (4, 0, 0), (5, 0, 0), (6, 0, 0), (7, 0, 0)],
                   b"ab"),
}
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
