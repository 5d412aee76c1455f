#!/usr/bin/env python3
"""Writes the seed corpora of the PDF fuzz targets.

corpus/pdf_open/: the small PDF fixtures of tests/fixtures/pdf (as they
are), and a file nesting 1000 arrays. corpus/pdf_lexer/: a refill-size
byte, then PDF syntax: numbers and references, strings and escapes,
names, containers, streams, content-stream operators, and broken input.
"""
import os
import shutil

here = os.path.dirname(os.path.abspath(__file__))
fixtures = os.path.join(here, '..', 'fixtures', 'pdf')

out = os.path.join(here, 'corpus', 'pdf_open')
os.makedirs(out, exist_ok=True)
for name in sorted(os.listdir(fixtures)):
    p = os.path.join(fixtures, name)
    if name.endswith('.pdf') and os.path.getsize(p) <= 8192:
        shutil.copy(p, os.path.join(out, name))
with open(os.path.join(fixtures, 'self-reference.pdf'), 'rb') as f:
    nested = f.read().replace(b'5 0 R\nendobj', b'[' * 1000 + b']' * 1000 + b'\nendobj', 1)
with open(os.path.join(out, 'nested-1000.pdf'), 'wb') as f:
    f.write(nested)

out = os.path.join(here, 'corpus', 'pdf_lexer')
os.makedirs(out, exist_ok=True)
seeds = {
    'numbers': b'\x00' + b'0 0 1 RG 1 2 3 4 R -.5 3. 12345.678 1-2 4294967292 ',
    'strings': b'\x02' + b'(a(b)c) (\\101\\1012\\7x) (a\\\r\nb) (line\r\nend) <41 4> <4a4B>',
    'names': b'\x01' + b'/A#42 /A#G /A#4/B /Name%comment\n/',
    'containers': b'\x07' + b'[1 [2] << /K /V /D << /E [true false null] >> >> (s)] <<>> []',
    'stream': b'\x03' + b'<< /Length 5 >>stream\r\nhello\nendstream << >> sc',
    'content': b'\x10' + b'q 1 0 0 1 72 720 cm BT /F1 12 Tf (Hi) Tj ET Q 0.5 g 0 0 10 10 re f* T* \' "',
    'broken': b'\x00' + b'] > { + 1 R <4<> abcdefghi',
    'deep': b'\x20' + b'[' * 300 + b']' * 300,
}
for name, data in seeds.items():
    with open(os.path.join(out, name), 'wb') as f:
        f.write(data)

# corpus/pdf_filters/: byte 0 the filter (0 hex, 1 ASCII85, 2-3 LZW, 4
# Flate, 5 RunLength; bit 7 a predictor), bytes 1-4 the predictor's
# parameters, then coded data made with Python's encoders.
import base64
import sys
import zlib
sys.path.insert(0, fixtures)
import make_stream_fixtures as streams  # noqa: E402

out = os.path.join(here, 'corpus', 'pdf_filters')
os.makedirs(out, exist_ok=True)
text = streams.TEXT[:600]
image = streams.IMAGE
seeds = {
    'hex': b'\x00\x00\x00\x00\x00' + streams.ahx(text),
    'a85': b'\x01\x00\x00\x00\x00' + streams.a85(text),
    'a85-z': b'\x01\x00\x00\x00\x00' + b'zz!!!!z~>',
    'lzw': b'\x02\x00\x00\x00\x00' + streams.lzw_encode(text, 1),
    'flate': b'\x04\x00\x00\x00\x00' + zlib.compress(text),
    'flate-cut': b'\x04\x00\x00\x00\x00' + zlib.compress(text)[:40],
    'runlength': b'\x05\x00\x00\x00\x00' + streams.runlength(b'aaaaaaabcdefgggggg' * 5),
    # Predictor 15 (index 7), 3 colours (index 2), 8 bits (index 3), 5 columns.
    'png15': b'\x84\x07\x02\x03\x04' + zlib.compress(streams.png_predict(image, 3, 8, 5, [0, 1, 2, 3, 4])),
    # TIFF predictor (index 1), 3 colours, 8 bits, 5 columns.
    'tiff2': b'\x84\x01\x02\x03\x04' + zlib.compress(streams.tiff_predict(image, 3, 5)),
    'png-4bit': b'\x82\x03\x00\x02\x1d' + streams.lzw_encode(streams.png_predict(image, 1, 4, 30, [1, 4]), 1),
}
for name, data in seeds.items():
    with open(os.path.join(out, name), 'wb') as f:
        f.write(data)
# Raw images (bit 6 of byte 0): 15 x 12 RGB (model 2) samples of 8 bits,
# raw (input 5) and Flate (input 7) with PNG predictor 15 (index 7).
seeds = {
    'raw-rgb': bytes([0x40, 14, 11, 3, 2]) + image,
    'raw-flate-png15': bytes([0x44, 4, 11, 3, 2 | (7 << 3)]) +
    zlib.compress(streams.png_predict(image[:5 * 3 * 12], 3, 8, 5, [0, 1, 2, 3, 4])),
    'raw-mask': bytes([0x40, 15, 11, 0x80, 1]) + bytes(range(24)),
}
for name, data in seeds.items():
    with open(os.path.join(out, name), 'wb') as f:
        f.write(data)
