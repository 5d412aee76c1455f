#!/usr/bin/env python3
"""Writes the seed corpora of the character-set fuzz targets
(corpus/charset_decode/, corpus/charset_detect/) from slices of the
character-set test fixtures and a few hand-made cases."""
import os

here = os.path.dirname(os.path.abspath(__file__))
fixtures = os.path.join(here, '..', 'fixtures', 'charset')


def write(target, name, data):
    d = os.path.join(here, 'corpus', target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), 'wb') as f:
        f.write(data)


def fixture(name, n=300):
    with open(os.path.join(fixtures, name), 'rb') as f:
        return f.read()[:n]


# Decoders: header {code, chunk, destination size}, then bytes.
for code in (1, 3, 4, 10, 23, 30, 31, 32, 33, 34, 35):
    write('charset_decode', 'dec_%d' % code, bytes([code, code % 7, code % 5]) + fixture('dec_%d.in' % code))
write('charset_decode', 'utf8_broken', bytes([1, 2, 0]) + b'a\xe2\x28\xa1\xc0\x80\xf0\x9f\x98')
write('charset_decode', 'gb_broken', bytes([35, 1, 1]) + b'\x81\x30A0\x81\x30\x81\x30\x90\x30\x81\x30\x84\x31\xa5\x30\x81')
write('charset_decode', 'jis_broken', bytes([32, 3, 2]) + b'\x1b$B$\n\x1b(J\\~\x1b$@$"\xa4\x1b$')
write('charset_decode', 'euc_broken', bytes([33, 2, 3]) + b'\x8e\xb1\x8eA\x8f\xa2\xc3\x8f\xa2x\xa4')

# Detector: header {default, chunk, tables}, then bytes.
for name, default in (('sjis', 31), ('eucjp', 33), ('iso2022jp', 10), ('euckr', 30), ('big5', 34),
                      ('gbk', 35), ('utf8', 10), ('utf16le', 10), ('latin1', 10)):
    with open(os.path.join(fixtures, 'detect', name + '.bin'), 'rb') as f:
        write('charset_detect', name, bytes([default, 5, 15]) + f.read())
write('charset_detect', 'iso2022_family', bytes([10, 3, 15]) + b'\x1b$)C\x0e!!\x0f\x1b$)A\x1b$*H\x1b.A\xff')
