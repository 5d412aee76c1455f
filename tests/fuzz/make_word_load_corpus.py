#!/usr/bin/python3
"""Adds seeds to the word_load fuzz corpus (tests/fuzz/corpus/word_load/) in
the harness's form (the "WordDocument", table and "Data" streams, each after
its u32 length), made from the Word fixtures:

- nested_fields.doc: runs.doc whose first body paragraph opens 21 fields
  (one deeper than the field stack holds), with a separator and an end for
  the deepest and ends for the rest.
"""
import os
import struct

import olefile

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, '..', 'fixtures', 'word')
CORPUS = os.path.join(HERE, 'corpus', 'word_load')


def streams(path):
    ole = olefile.OleFileIO(path)
    parts = [ole.openstream('WordDocument').read()]
    for s in ('1Table', 'Data'):
        parts.append(ole.openstream(s).read() if ole.exists(s) else b'')
    return parts


def nested_fields():
    parts = streams(os.path.join(FIXTURES, 'runs.doc'))
    original = 'Paragraph 0: run 0.0 in style 0 run 0.1 in style 1 run 0.2 in style 2.'
    nested = '\x13' * 21 + 'a\x14b\x15' + '\x15' * 20
    patched = nested + original[len(nested):]
    doc = parts[0]
    at = doc.find(original.encode('utf-16-le'))
    assert at >= 0
    parts[0] = doc[:at] + patched.encode('utf-16-le') + doc[at + len(patched) * 2:]
    return parts


def write(name, parts):
    os.makedirs(CORPUS, exist_ok=True)
    with open(os.path.join(CORPUS, name), 'wb') as f:
        for p in parts:
            f.write(struct.pack('<I', len(p)) + p)


if __name__ == '__main__':
    write('nested_fields.doc', nested_fields())
    for name in ('lists.doc', 'table.doc', 'merges.doc', 'word6-lists.doc'):
        write(name, streams(os.path.join(FIXTURES, name)))
