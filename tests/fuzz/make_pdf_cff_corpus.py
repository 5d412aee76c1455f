#!/usr/bin/python3
"""Writes the seeds of the pdf_cff fuzz target (corpus/pdf_cff/): byte 0
the key mode, then a CFF program: the embedded programs of the font
program fixtures (tests/fixtures/pdf/text/fp-cff.pdf, fp-cidcff.pdf) and
the small CID-keyed fixture program."""
import os
import re
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
TEXT = os.path.join(HERE, '..', 'fixtures', 'pdf', 'text')
OUT = os.path.join(HERE, 'corpus', 'pdf_cff')


def programs(path):
    data = open(path, 'rb').read()
    for m in re.finditer(rb'/Subtype\s*/(?:Type1C|CIDFontType0C)[^>]*>>\s*stream\r?\n', data):
        head = data[data.rfind(b'<<', 0, m.start()):m.end()]
        length = int(re.search(rb'/Length (\d+)', head).group(1))
        body = data[m.end():m.end() + length]
        yield zlib.decompress(body) if b'FlateDecode' in head else body


def main():
    os.makedirs(OUT, exist_ok=True)
    seeds = []
    for name in ('fp-cff', 'fp-cidcff'):
        for i, program in enumerate(programs(os.path.join(TEXT, name + '.pdf'))):
            seeds.append(('%s-%d' % (name, i), program))
    seeds.append(('cid-fixture', open(os.path.join(HERE, '..', 'fixtures', 'fontprograms', 'cff-cid.cff'),
                                      'rb').read()))
    for n, (name, program) in enumerate(seeds):
        with open(os.path.join(OUT, name), 'wb') as f:
            f.write(bytes([n % 3]) + program)


main()
