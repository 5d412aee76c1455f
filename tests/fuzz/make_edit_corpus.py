#!/usr/bin/env python3
"""Writes the seed corpus of the edit fuzz target (tests/fuzz/corpus/edit).

Each seed is a paragraph count byte and a script of commands (see
edit_fuzz.cpp): select, replace, delete and read the text.
"""
import os

SELECT, REPLACE, DELETE, READ = 0, 1, 2, 3
A, B, SP, DOT, CR, VT, LF, NBSP = range(8)


def select(node, hit, caret, mode):
    return [SELECT, node, hit, caret, mode]


def replace(caret, unchanged, chars):
    return [REPLACE, caret, unchanged, len(chars)] + chars


SEEDS = {
    "word_cr": [2] + select(0, 8, 8, 1) + replace(7, 0, [A, B, CR, B, A]) + [READ],
    "ends_cr_vt": [1] + select(1, 2, 2, 1) + replace(3, 0, [A, VT]) + select(0, 1, 1, 3)
    + replace(1, 0, [B, CR]),
    "delete_block": [1] + select(2, 0, 0, 4) + [DELETE, READ],
    "extend_delete": [3] + select(0, 0, 3, 7) + select(2, 0, 2, 8) + [DELETE] + select(0, 0, 1, 6)
    + replace(0, 1, [A]),
    "lf_placeholder": [1] + select(0, 3, 3, 0) + replace(2, 0, [LF, A, NBSP, LF, CR, CR, VT]) + [READ, DELETE],
    "modes": [2] + select(4, 5, 5, 2) + select(1, 0, 0, 5) + replace(0, 0, [SP, DOT]) + select(3, 9, 9, 3)
    + [DELETE],
}

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "edit")
os.makedirs(here, exist_ok=True)
for name, script in SEEDS.items():
    with open(os.path.join(here, name), "wb") as f:
        f.write(bytes(script))
