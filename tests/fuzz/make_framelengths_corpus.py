#!/usr/bin/env python3
"""Writes the seed corpus of the frame-set length fuzz target
(corpus/framelengths/): four bytes of total size, little-endian, then a
rows or cols list."""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.join(here, 'corpus', 'framelengths')
os.makedirs(out, exist_ok=True)
seeds = {
    'half_rest': (600000, b'50%,*'),
    'pixels': (273066, b'100,200'),
    'relative': (600000, b'2.5*, 5*'),
    'mixed': (600000, b'100,30%,40%,*,3*'),
    'long_digits': (-5, b'12345678901%*,2,,%'),
    'single': (0, b'17'),
}
for name, (total, text) in seeds.items():
    with open(os.path.join(out, name), 'wb') as f:
        f.write(struct.pack('<i', total) + text)
