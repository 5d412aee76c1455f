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
