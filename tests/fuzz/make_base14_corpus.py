#!/usr/bin/python3
"""Writes the seed corpus of the base-14 metrics fuzz target (corpus/base14/):
the metrics file that tools/gen/gen_romfs.py builds in, and a few cut and
damaged copies of it.
"""
import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "../../tools/gen"))
import gen_romfs  # noqa: E402

out = os.path.join(here, "corpus", "base14")
os.makedirs(out, exist_ok=True)
good = gen_romfs.make_base14()
seeds = {
    "whole": good,
    "header_only": good[:130],
    "cut_half": good[:len(good) // 2],
    "wrong_total": bytes([good[0] ^ 1]) + good[1:],
    "bad_packed": good[:200] + bytes([good[200] ^ 0x5A]) + good[201:],
}
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
