#!/usr/bin/env python3
"""Writes the seed corpus of the presentation text-box fuzz target
(tests/fuzz/corpus/ppttext).

Each seed is an options byte (see ppttext_fuzz.cpp) followed by client-text-
box records: the text-box fixtures of tests/fixtures/presentation/textbox
and a few more mixes of text, style runs, rulers and fields.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, '..', 'fixtures', 'presentation', 'textbox')
OUT = os.path.join(HERE, 'corpus', 'ppttext')


def record(rtype, body, length=None):
    return struct.pack('<HHI', 0, rtype, len(body) if length is None else length) + body


def chars(text):
    return record(0x0FA0, text.encode('utf-16-le'))


def u32(v):
    return struct.pack('<I', v)


EXTRA = {
    'mixed': (0x09, record(0x0F9F, u32(1)) + chars(' one\rtwo\x0bthree\x0b\r\r')
              + record(0x0FA1, b'\x03\0\0\0\0\0\x01\0\0\0\x01\0' * 3)
              + record(0x0FA6, u32(0x1F8) + b'\0' * 20) + record(0x0FF8, u32(4))),
    'fields_everywhere': (0x42, chars('ab\r') + record(0x0FD8, u32(3)) + record(0x0FFA, u32(0))
                          + record(0x0FF8, u32(0xFFFFFFFF))),
    'bytes_then_chars': (0x8C, record(0x0FA8, bytes(range(1, 40))) + chars('\x0b\x0b')),
    'outline': (0x18, record(0x0F9E, u32(1))),
    'turned': (0xF3, chars('turned\r')),
}


def main():
    os.makedirs(OUT, exist_ok=True)
    options = 0
    for name in sorted(os.listdir(FIXTURES)):
        if not name.endswith('.bin'):
            continue
        with open(os.path.join(FIXTURES, name), 'rb') as f:
            data = f.read()
        with open(os.path.join(OUT, name[:-4]), 'wb') as f:
            f.write(bytes([options]) + data)
        options = (options + 0x29) & 0xFF
    for name, (opt, data) in EXTRA.items():
        with open(os.path.join(OUT, name), 'wb') as f:
            f.write(bytes([opt]) + data)


if __name__ == '__main__':
    main()
