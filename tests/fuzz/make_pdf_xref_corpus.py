#!/usr/bin/env python3
"""Writes the seed corpora of the cross-reference fuzz targets.

corpus/pdf_xref/: a selector byte (0 rows, 1 object-stream pairs, 2 file
scan), then that reader's input: rows of every type and width, pairs with
offsets past the data, text with headers, "endobj", trailers and numbers
cut by chunk edges. corpus/pdf_objstm/: a length byte, then object-stream
data of that length, then cross-reference rows (widths 1 4 2) for objects
0 to 8 (see pdf_objstm_fuzz.cpp for the file around them). Also copies the
small fixtures of tests/fixtures/pdf/xref into corpus/pdf_open/.
"""
import os
import shutil

here = os.path.dirname(os.path.abspath(__file__))


def put(folder, name, data):
    out = os.path.join(here, 'corpus', folder)
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, name), 'wb') as f:
        f.write(data)


def row(kind, a, b):
    return bytes([kind]) + a.to_bytes(4, 'big') + b.to_bytes(2, 'big')


put('pdf_xref', 'rows-123', b'\x00' + bytes([1, 2, 3, 0, 4]) +
    b'\x00\x00\x00\xff\xff\x01\x00\x10\x00\x00\x02\x00\x05\x00\x01\x07\x00\x00\x00\x00')
put('pdf_xref', 'rows-no-type', b'\x00' + bytes([0, 2, 3, 5, 3]) + b'\x00\x10\xff\xff\xff' * 3)
put('pdf_xref', 'rows-wide', b'\x00' + bytes([8, 8, 8, 0, 2]) + bytes(range(48)))
put('pdf_xref', 'rows-zero-width', b'\x00' + bytes([0, 0, 0, 0, 9]) + b'abc')
put('pdf_xref', 'pairs', b'\x01' + bytes([4, 20]) + b'5 0 6 3 7 99 8 x (a)(b)[1 2]<<>>')
put('pdf_xref', 'pairs-huge', b'\x01' + bytes([255, 0]) + b'99999999999999999999999 1 2 3')
put('pdf_xref', 'scan', b'\x02\x03' + b'%PDF-1.4\n1 0 obj\n<<>>\nendobj\n 12  7 obj (x) endobj x9 0 obj 3 0 objstm '
    b'trailer<< /Root 1 0 R >>\n4294967296 0 obj\n99999999999 0 obj\n5 70000 obj\ntrailer')
put('pdf_xref', 'scan-edges', b'\x02\x00' + b'obj 1 obj 1 0obj 1 0 obj' + b' ' * 40 + b'2 0 obj trailer')

members = b'5 0 6 5 7 11 8 20 (five) [6 0 R] << /A 7 >> 3 0 R '
rows = row(0, 0, 65535) + row(1, 9, 0) + row(0, 0, 0) + row(1, 60, 0) + row(1, 200, 0) + \
    row(2, 3, 0) + row(2, 3, 1) + row(2, 3, 2) + row(2, 3, 3)
put('pdf_objstm', 'members', bytes([len(members)]) + members + rows)
put('pdf_objstm', 'self-container', bytes([len(members)]) + members + rows[:5 * 7] + row(2, 5, 0) * 4)
put('pdf_objstm', 'stream-member', b'\x2a' + b'5 0 6 1 7 2 8 3 << /Length 1 >>stream\nx\nend' + rows)
put('pdf_objstm', 'empty', b'\x00' + rows)

fixtures = os.path.join(here, '..', 'fixtures', 'pdf', 'xref')
for name in sorted(os.listdir(fixtures)):
    p = os.path.join(fixtures, name)
    if name.endswith('.pdf') and os.path.getsize(p) <= 8192:
        shutil.copy(p, os.path.join(here, 'corpus', 'pdf_open', 'xref-' + name))
