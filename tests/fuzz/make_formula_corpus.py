#!/usr/bin/env python3
"""Writes the seed corpus of the formula fuzz target (tests/fuzz/corpus/
formula). Every input is read both as formula text and as a token string,
so the seeds are formula texts (the python3-xlwt list of the formula text
tests, tests/fixtures/spreadsheet/formulatext/xlwt_tokens.txt, and a few
with blanks, whole rows and columns and damage) and the token strings that
xlwt made for them.
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
LIST = os.path.join(HERE, '..', 'fixtures', 'spreadsheet', 'formulatext', 'xlwt_tokens.txt')

EXTRA = {
    'blanks': ' ( 1 ) +\r\n SUM( A1:B2 )%',
    'wholes': 'SUM(A:B,$1:3)+-2^2',
    'if_missing': 'IF(A1,,)+ROUND(A1,)',
    'unclosed': 'IF(A1>0,"yes"',
    'wide_string': '"\u00e9\u20ac"&1',
    'bad_ref': 'IW1+A65537',
}


def write(name, data):
    folder = os.path.join(HERE, 'corpus', 'formula')
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


def main():
    with open(LIST) as f:
        for i, line in enumerate(f):
            text, hexdigits = line.rstrip('\n').split('\t')
            if i % 3 == 0:
                write('text%02d' % i, text.encode('utf-8'))
            if i % 3 == 1:
                write('tokens%02d' % i, bytes.fromhex(hexdigits))
    for name, text in EXTRA.items():
        write(name, text.encode('utf-8'))


if __name__ == '__main__':
    main()
