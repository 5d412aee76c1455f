#!/usr/bin/python3
"""Writes the seed corpus of the formula evaluator fuzz target
(corpus/formula_eval/): token strings of operators, functions, IF through
attribute tokens, SUMIF and COUNTIF, areas and error references."""
import os
import struct

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'corpus', 'formula_eval')


def num(d): return b'\x1f' + struct.pack('<d', d)
def integer(v): return b'\x1e' + struct.pack('<H', v)
def s8(t): return b'\x17' + bytes([len(t), 0]) + t.encode()
def ref(r, c): return b'\x44' + struct.pack('<HH', r, 0xC000 | c)
def area(r0, c0, r1, c1): return b'\x25' + struct.pack('<HHHH', r0, r1, 0xC000 | c0, 0xC000 | c1)
def func(i): return b'\x41' + struct.pack('<H', i)
def funcvar(n, i): return b'\x42' + bytes([n]) + struct.pack('<H', i)
def attr(a, d): return b'\x19' + bytes([a]) + struct.pack('<H', d)


def if_then(c, t, f):
    out = c + attr(2, len(t) + 4) + t
    if not f:
        return out + attr(8, 3) + funcvar(2, 1)
    return out + attr(8, len(f) + 3) + f + funcvar(3, 1)


SEEDS = {
    'add': integer(1) + integer(2) + b'\x03',
    'div_zero': integer(1) + integer(0) + b'\x06',
    'power_chain': num(2) + integer(3) + b'\x07' + integer(2) + b'\x07',
    'compare_text': s8('a') + s8('B') + b'\x09',
    'sum_area': area(0, 0, 3, 0) + funcvar(1, 4),
    'attr_sum': area(0, 0, 3, 2) + attr(0x10, 0),
    'if_else': if_then(ref(0, 0) + integer(1) + b'\x0d', s8('big'), s8('small')),
    'if_no_else': if_then(integer(0), integer(1), b''),
    'countif': area(0, 0, 3, 2) + s8('>=2') + func(346),
    'sumif3': area(0, 0, 3, 0) + s8('>1') + area(0, 2, 3, 2) + funcvar(3, 345),
    'irr': area(0, 2, 2, 2) + num(0.1) + funcvar(2, 62),
    'error_cell': ref(1, 1) + integer(1) + b'\x03',
    'ref_err': b'\x2a' + bytes(4),
    'unsupported': integer(1) + func(15),
    'round_trunc': num(2.345) + integer(2) + func(27) + num(-2.7) + funcvar(1, 197) + b'\x03',
    'self_ref': ref(3, 0) + integer(1) + b'\x03',
    'text_result': ref(2, 0),
}


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(OUT, name), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()
