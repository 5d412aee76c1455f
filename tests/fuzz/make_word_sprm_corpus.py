#!/usr/bin/python3
"""Seeds of the fuzz target "word_sprm": a version byte (odd: Word 97,
even: Word 6/95), then a modifier list of each group's kinds of operands:
toggles, tabs in both size forms, a table definition, shading, borders,
style permutation, majority, conditional formatting, section columns and
Word 6 one-byte modifiers."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, 'corpus', 'word_sprm')


def op(v):
    return struct.pack('<H', v)


def w(v):
    return struct.pack('<H', v)


SEEDS = {
    'toggles': b'\1' + op(0x0835) + b'\x81' + op(0x0836) + b'\x80' + op(0x2A33) + op(0x083C) + b'\1',
    'tabs': b'\1' + op(0xC60D) + bytes([7, 1]) + w(720) + bytes([1]) + w(1440) + b'\x09'
            + op(0xC615) + bytes([255, 1]) + w(720) + w(10) + bytes([1]) + w(360) + b'\x01',
    'table': b'\1' + op(0xD608) + w(1 + 1 + 6 + 40) + bytes([2]) + w(0) + w(1000) + w(2000) + bytes(40)
             + op(0xD609) + bytes([4]) + w(0x1234) + w(0x4321) + op(0x9601) + w(100) + op(0x9602) + w(50)
             + op(0xD605) + bytes([24]) + bytes(24) + op(0x740A) + bytes([1, 0, 0xFF, 0]),
    'shading': b'\1' + op(0xD612) + bytes([20]) + bytes(range(20)) + op(0x4866) + w(0x2345),
    'borders': b'\1' + op(0x6424) + bytes([8, 1, 2, 3]) + op(0x461C) + w(0x0102) + op(0x702B) + bytes([4, 2, 6, 1])
               + op(0x6C02) + bytes([8, 30, 20, 2]) + op(0x2E00) + b'\x02',
    'permute': b'\1' + op(0xC601) + bytes([10, 0, 0]) + w(1) + w(2) + w(3) + w(0)
               + op(0xCA31) + bytes([8, 0, 0]) + w(0) + w(0) + w(2),
    'majority': b'\1' + op(0xCA47) + bytes([6]) + op(0x0835) + b'\1' + op(0x4A43) + b'\x18'
                + op(0xCA85) + bytes([5]) + w(4) + op(0x0836) + b'\1',
    'section': b'\1' + op(0x3009) + b'\2' + op(0xF203) + bytes([3]) + w(3000) + op(0x500B) + w(1)
               + op(0xB01F) + w(16838) + op(0xD227) + bytes([7, 1, 2, 0, 3, 0, 0, 0]),
    'word6': b'\0' + bytes([5, 1, 17, 0x40, 0x02, 85, 1, 99, 24, 0, 74, 3, 2, 0, 0x41, 193, 1, 2, 3, 4, 5, 142, 2,
                            188, 12, 0, 1, 0, 0, 100, 0]) + bytes(10),
    'anld': b'\1' + op(0xC63E) + bytes([84]) + bytes([1, 0, 1, 0, 0, 0]) + w(0) + w(24) + w(1) + w(360) + w(0)
            + bytes([1, 0, 0, 0]) + b'1\0.\0' + bytes(60),
    'huge': b'\1' + op(0x6646) + struct.pack('<I', 0) + op(0x2640) + b'\3' + op(0x4600) + w(2),
}


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(OUT, name), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()
