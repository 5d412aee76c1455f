#!/usr/bin/python3
"""Adds the Word drawing fixtures (tests/fixtures/word/drawings.doc and
mono.doc) to the word_load fuzz corpus in the harness's form: the
"WordDocument", "1Table" and "Data" streams, each after its u32 length.
The compound files are read by the small reader below (regular and mini
streams), so no library is needed.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, '..', 'fixtures', 'word')
CORPUS = os.path.join(HERE, 'corpus', 'word_load')


def streams(path):
    data = open(path, 'rb').read()
    ss = 1 << struct.unpack_from('<H', data, 30)[0]
    nfat = struct.unpack_from('<I', data, 44)[0]
    dirstart = struct.unpack_from('<I', data, 48)[0]
    minicut = struct.unpack_from('<I', data, 56)[0]
    minifat_start = struct.unpack_from('<I', data, 60)[0]
    fat = []
    for s in struct.unpack_from('<%dI' % nfat, data, 76):
        fat += struct.unpack_from('<%dI' % (ss // 4), data, 512 + s * ss)

    def chain(s):
        out = b''
        while s < 0xFFFFFFFE:
            out += data[512 + s * ss:512 + (s + 1) * ss]
            s = fat[s]
        return out
    d = chain(dirstart)
    entries = {}
    for i in range(len(d) // 128):
        e = d[i * 128:(i + 1) * 128]
        n = struct.unpack_from('<H', e, 64)[0]
        if n >= 2:
            entries[e[:n - 2].decode('utf-16le')] = struct.unpack_from('<II', e, 116)
    root = chain(entries['Root Entry'][0])
    mf = chain(minifat_start)
    minifat = struct.unpack('<%dI' % (len(mf) // 4), mf)

    def stream(name):
        if name not in entries:
            return b''
        s, size = entries[name]
        if size < minicut:
            out = b''
            while s < 0xFFFFFFFE:
                out += root[s * 64:(s + 1) * 64]
                s = minifat[s]
            return out[:size]
        return chain(s)[:size]
    return [stream('WordDocument'), stream('1Table'), stream('Data')]


def write(name, parts):
    os.makedirs(CORPUS, exist_ok=True)
    with open(os.path.join(CORPUS, name), 'wb') as f:
        for p in parts:
            f.write(struct.pack('<I', len(p)) + p)


if __name__ == '__main__':
    for name in ('drawings.doc', 'mono.doc'):
        write(name, streams(os.path.join(FIXTURES, name)))
