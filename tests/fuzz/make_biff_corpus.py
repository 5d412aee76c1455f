#!/usr/bin/python3
"""Seeds corpus/biff/ for the workbook-loader fuzz target: the "Workbook"
or "Book" stream of each committed spreadsheet fixture (the harness wraps
the input in a compound file), and a few small streams made here that
reach the shared-string, MULRK, RSTRING, formula and pivot-block paths.

Run with /usr/bin/python3 (python3-olefile). Files are named unit_*."""
import glob
import os
import struct

import olefile

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, 'corpus', 'biff')
FIXTURES = os.path.join(HERE, '..', 'fixtures', 'spreadsheet')


def rec(t, body=b''):
    return struct.pack('<HH', t, len(body)) + body


def bof(version, kind):
    return rec(0x0809, struct.pack('<HH', version, kind) + b'\0' * (12 if version == 0x600 else 4))


def book(globals_extra, sheets, version=0x600):
    head = bof(version, 5)
    head += rec(0x31, struct.pack('<HHHHHBBBB', 200, 0, 0x7FFF, 400, 0, 0, 0, 0, 0) + b'\x05\x00Arial')
    for _ in range(21):
        head += rec(0xE0, b'\0' * 20)
    head += globals_extra
    bound_size = sum(4 + 8 + len('S%d' % i) for i in range(len(sheets)))
    at = len(head) + bound_size + 4
    bound = b''
    body = b''
    for i, s in enumerate(sheets):
        name = ('S%d' % i).encode()
        sheet = bof(version, 0x10) + s + rec(0x0A)
        bound += rec(0x85, struct.pack('<IBBBB', at, 0, 0, len(name), 0) + name)
        at += len(sheet)
        body += sheet
    return head + bound + rec(0x0A) + body


def cell(r, c, xf=15):
    return struct.pack('<HHH', r, c, xf)


def main():
    os.makedirs(OUT, exist_ok=True)
    for path in sorted(glob.glob(os.path.join(FIXTURES, '*.xls'))):
        ole = olefile.OleFileIO(path)
        name = 'Workbook' if ole.exists('Workbook') else 'Book'
        data = ole.openstream(name).read()
        with open(os.path.join(OUT, 'unit_' + os.path.basename(path)[:-4]), 'wb') as f:
            f.write(data)
    sst = rec(0xFC, struct.pack('<II', 3, 3) + b'\x06\x00\x00abc') + \
        rec(0x3C, b'\x01d\x00e\x00\xac\x20' + b'\x02\x00\x08\x01\x00xy\x00\x00\x01\x00')
    row = rec(0x208, struct.pack('<HHHHHHHH', 0, 0, 6, 0x80FF, 0, 0, 0x100, 15))
    cells = row + rec(0xFD, cell(0, 0) + struct.pack('<I', 0)) + rec(0x27E, cell(0, 1) + struct.pack('<I', 603)) + \
        rec(0xBD, struct.pack('<HHHIHIH', 0, 2, 15, 102, 15, 2403, 3)) + \
        rec(0xBE, struct.pack('<HHHHH', 1, 0, 16, 17, 1)) + \
        rec(0xD6, cell(0, 4) + b'\x02\x00\x01\x42\x30z\x00\x01\x00\x00\x00\x01\x00')
    refn = b'\x2c\xff\xff\x00\xc0'
    exp = b'\x01\x01\x00\x01\x00'
    shared = rec(0x06, cell(1, 1) + struct.pack('<dHIH', 0.0, 8, 0, len(exp)) + exp) + \
        rec(0x4BC, struct.pack('<HHBBHH', 1, 4, 1, 1, 0, len(refn)) + refn) + \
        rec(0x06, cell(4, 1) + struct.pack('<dHIH', 0.0, 8, 0, len(exp)) + exp) + \
        rec(0x06, cell(5, 1) + b'\x00\x00\x00\x00\x00\x00\xff\xff' + struct.pack('<HIH', 0, 0, 5) + refn) + \
        rec(0x207, b'\x02\x00\x00ok')
    pivot = rec(0xB0, b'\x01' * 10) + rec(0xB1, b'\0' * 4) + rec(0x203, cell(7, 0) + struct.pack('<d', 3.0))
    seeds = {
        'unit_cells': book(sst, [cells]),
        'unit_shared_formulas': book(b'', [shared + pivot]),
        'unit_biff5': book(b'', [cells[:len(row)] + rec(0x203, cell(0, 0) + struct.pack('<d', 1.5))], 0x500),
    }
    for name, data in seeds.items():
        with open(os.path.join(OUT, name), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()
