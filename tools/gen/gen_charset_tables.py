#!/usr/bin/env python3
"""Generates the built-in character-set tables from Python's codecs.

Writes two C++ files of constant data:
  core/text/charset_sbcs_tables.cpp  the single-byte code pages (bytes
      0x80-0xFF of codes 6-26) and the two symbol-font encodings;
  core/text/charset_cjk_tables.cpp   the four East Asian tables (Japanese
      cp932, Big5 cp950, Korean cp949, Chinese gb18030) in the engine's
      record format, and the GB18030 four-byte range table.

The mappings come from Python's codec tables (the published vendor
mappings), except the two symbol-font encodings, which no codec carries:
their tables are written out below with the rule they follow.

Every table is checked here before it is written: a model of the engine's
lookup (decode) and reverse lookup (encode) is run over every two-byte code
and every code point and must agree with the codec.

Usage: tools/gen/gen_charset_tables.py [repository root]
"""
import os
import sys

ROOT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..')
SCRIPT = 'tools/gen/gen_charset_tables.py'
FFFD = 0xFFFD

# ------------------------------------------------------------ single byte

# Codes 6-24 and the Python codec holding each one's published mapping.
SBCS_CODECS = [
    (6, 'cp437'), (7, 'cp874'), (8, 'cp1250'), (9, 'cp1251'), (10, 'cp1252'),
    (11, 'cp1253'), (12, 'cp1254'), (13, 'cp1255'), (14, 'cp1256'),
    (15, 'cp1257'), (16, 'cp1258'), (17, 'iso8859_2'), (18, 'iso8859_5'),
    (19, 'iso8859_6'), (20, 'iso8859_7'), (21, 'iso8859_8'), (22, 'iso8859_9'),
    (24, 'koi8_r'),
]


def sbcs_high(codec):
    out = []
    for b in range(0x80, 0x100):
        try:
            s = bytes([b]).decode(codec)
        except UnicodeDecodeError:
            s = None
        out.append(ord(s) if s is not None and len(s) == 1 else FFFD)
    return out


def tis620_high():
    out = []
    for b in range(0x80, 0x100):
        if b <= 0xA0:
            out.append(b)
        elif b <= 0xDA:
            out.append(0x0E01 + b - 0xA1)
        elif 0xDF <= b <= 0xFB:
            out.append(0x0E3F + b - 0xDF)
        else:
            out.append(FFFD)
    return out


# The Symbol font encoding: the Greek letters and mathematical signs of the
# font, as in the published Adobe Symbol mapping. Glyph pieces with no
# character of their own (the sans-serif marks, bracket and integral parts,
# the radical extender, the arrow extenders, the logo) take the private-use
# values U+F8xx of that mapping. Control bytes map to themselves; 0x7F,
# 0x80-0x9F, 0xA0 and 0xFF are not glyphs and give U+FFFD.
SYMBOL_PRINTABLE = {
    0x20: 0x0020, 0x21: 0x0021, 0x22: 0x2200, 0x23: 0x0023, 0x24: 0x2203, 0x25: 0x0025,
    0x26: 0x0026, 0x27: 0x220B, 0x28: 0x0028, 0x29: 0x0029, 0x2A: 0x2217, 0x2B: 0x002B,
    0x2C: 0x002C, 0x2D: 0x2212, 0x2E: 0x002E, 0x2F: 0x002F,
    0x3A: 0x003A, 0x3B: 0x003B, 0x3C: 0x003C, 0x3D: 0x003D, 0x3E: 0x003E, 0x3F: 0x003F,
    0x40: 0x2245, 0x41: 0x0391, 0x42: 0x0392, 0x43: 0x03A7, 0x44: 0x0394, 0x45: 0x0395,
    0x46: 0x03A6, 0x47: 0x0393, 0x48: 0x0397, 0x49: 0x0399, 0x4A: 0x03D1, 0x4B: 0x039A,
    0x4C: 0x039B, 0x4D: 0x039C, 0x4E: 0x039D, 0x4F: 0x039F, 0x50: 0x03A0, 0x51: 0x0398,
    0x52: 0x03A1, 0x53: 0x03A3, 0x54: 0x03A4, 0x55: 0x03A5, 0x56: 0x03C2, 0x57: 0x03A9,
    0x58: 0x039E, 0x59: 0x03A8, 0x5A: 0x0396, 0x5B: 0x005B, 0x5C: 0x2234, 0x5D: 0x005D,
    0x5E: 0x22A5, 0x5F: 0x005F, 0x60: 0xF8E5, 0x61: 0x03B1, 0x62: 0x03B2, 0x63: 0x03C7,
    0x64: 0x03B4, 0x65: 0x03B5, 0x66: 0x03C6, 0x67: 0x03B3, 0x68: 0x03B7, 0x69: 0x03B9,
    0x6A: 0x03D5, 0x6B: 0x03BA, 0x6C: 0x03BB, 0x6D: 0x03BC, 0x6E: 0x03BD, 0x6F: 0x03BF,
    0x70: 0x03C0, 0x71: 0x03B8, 0x72: 0x03C1, 0x73: 0x03C3, 0x74: 0x03C4, 0x75: 0x03C5,
    0x76: 0x03D6, 0x77: 0x03C9, 0x78: 0x03BE, 0x79: 0x03C8, 0x7A: 0x03B6, 0x7B: 0x007B,
    0x7C: 0x007C, 0x7D: 0x007D, 0x7E: 0x223C,
    0xA1: 0x03D2, 0xA2: 0x2032, 0xA3: 0x2264, 0xA4: 0x2044, 0xA5: 0x221E, 0xA6: 0x0192,
    0xA7: 0x2663, 0xA8: 0x2666, 0xA9: 0x2665, 0xAA: 0x2660, 0xAB: 0x2194, 0xAC: 0x2190,
    0xAD: 0x2191, 0xAE: 0x2192, 0xAF: 0x2193, 0xB0: 0x00B0, 0xB1: 0x00B1, 0xB2: 0x2033,
    0xB3: 0x2265, 0xB4: 0x00D7, 0xB5: 0x221D, 0xB6: 0x2202, 0xB7: 0x2022, 0xB8: 0x00F7,
    0xB9: 0x2260, 0xBA: 0x2261, 0xBB: 0x2248, 0xBC: 0x2026, 0xBD: 0xF8E6, 0xBE: 0xF8E7,
    0xBF: 0x21B5, 0xC0: 0x2135, 0xC1: 0x2111, 0xC2: 0x211C, 0xC3: 0x2118, 0xC4: 0x2297,
    0xC5: 0x2295, 0xC6: 0x2205, 0xC7: 0x2229, 0xC8: 0x222A, 0xC9: 0x2283, 0xCA: 0x2287,
    0xCB: 0x2284, 0xCC: 0x2282, 0xCD: 0x2286, 0xCE: 0x2208, 0xCF: 0x2209, 0xD0: 0x2220,
    0xD1: 0x2207, 0xD2: 0x00AE, 0xD3: 0x00A9, 0xD4: 0x2122, 0xD5: 0x220F, 0xD6: 0x221A,
    0xD7: 0x22C5, 0xD8: 0x00AC, 0xD9: 0x2227, 0xDA: 0x2228, 0xDB: 0x21D4, 0xDC: 0x21D0,
    0xDD: 0x21D1, 0xDE: 0x21D2, 0xDF: 0x21D3, 0xE0: 0x25CA, 0xE1: 0x2329, 0xE2: 0xF8E8,
    0xE3: 0xF8E9, 0xE4: 0xF8EA, 0xE5: 0x2211, 0xE6: 0xF8EB, 0xE7: 0xF8EC, 0xE8: 0xF8ED,
    0xE9: 0xF8EE, 0xEA: 0xF8EF, 0xEB: 0xF8F0, 0xEC: 0xF8F1, 0xED: 0xF8F2, 0xEE: 0xF8F3,
    0xEF: 0xF8F4, 0xF0: 0xF8FF, 0xF1: 0x232A, 0xF2: 0x222B, 0xF3: 0x2320, 0xF4: 0xF8F5,
    0xF5: 0x2321, 0xF6: 0xF8F6, 0xF7: 0xF8F7, 0xF8: 0xF8F8, 0xF9: 0xF8F9, 0xFA: 0xF8FA,
    0xFB: 0xF8FB, 0xFC: 0xF8FC, 0xFD: 0xF8FD, 0xFE: 0xF8FE,
}
for d in range(10):
    SYMBOL_PRINTABLE[0x30 + d] = 0x30 + d

# The Wingdings font encoding: each glyph maps to the dingbat or symbol
# character that shows it in the Basic Multilingual Plane. Glyphs without
# such a character (pictographs that exist only beyond it, clock faces,
# ornaments) take U+F000 + byte, the private-use position where symbol
# fonts carry their glyphs, so that text in the font still shows them.
# Control bytes map to themselves, 0x20 and 0xA0 to themselves; 0x7F and
# 0xFF give U+FFFD.
WINGDINGS_BMP = {
    0x21: 0x270E, 0x22: 0x2702, 0x23: 0x2701, 0x28: 0x260E, 0x29: 0x2706, 0x2A: 0x2709,
    0x36: 0x231B, 0x37: 0x2328, 0x3E: 0x2707, 0x3F: 0x270D, 0x41: 0x270C, 0x45: 0x261C,
    0x46: 0x261E, 0x47: 0x261D, 0x48: 0x261F, 0x49: 0x270B, 0x4A: 0x263A, 0x4C: 0x2639,
    0x4E: 0x2620, 0x51: 0x2708, 0x52: 0x263C, 0x54: 0x2744, 0x55: 0x271D, 0x56: 0x271E,
    0x58: 0x2720, 0x59: 0x2721, 0x5A: 0x262A, 0x5B: 0x262F, 0x5C: 0x0950, 0x5D: 0x2638,
    0x6C: 0x25CF, 0x6D: 0x274D, 0x6E: 0x25A0, 0x6F: 0x25A1, 0x71: 0x2751, 0x72: 0x2752,
    0x73: 0x2B27, 0x74: 0x29EB, 0x75: 0x25C6, 0x76: 0x2756, 0x77: 0x2B25, 0x78: 0x2327,
    0x79: 0x2BB9, 0x7A: 0x2318, 0x7B: 0x2740, 0x7C: 0x273F, 0x7D: 0x275D, 0x7E: 0x275E,
    0x80: 0x24EA, 0x8B: 0x24FF, 0x9E: 0x00B7, 0x9F: 0x2022, 0xA1: 0x25CB, 0xA2: 0x2B55,
    0xA4: 0x25C9, 0xA5: 0x25CE, 0xA7: 0x25AA, 0xA8: 0x25FB, 0xAA: 0x2726, 0xAB: 0x2605,
    0xAC: 0x2736, 0xAD: 0x2734, 0xAE: 0x2739, 0xAF: 0x2735, 0xB0: 0x2316, 0xB2: 0x2311,
    0xB4: 0x272A, 0xB5: 0x2730, 0xD5: 0x232B, 0xD6: 0x2326, 0xD7: 0x2B98, 0xD8: 0x2B9A,
    0xD9: 0x2B99, 0xDA: 0x2B9B, 0xDB: 0x2B88, 0xDC: 0x2B8A, 0xDD: 0x2B89, 0xDE: 0x2B8B,
    0xDF: 0x2190, 0xE0: 0x2192, 0xE1: 0x2191, 0xE2: 0x2193, 0xE3: 0x2196, 0xE4: 0x2197,
    0xE5: 0x2199, 0xE6: 0x2198, 0xE7: 0x2B05, 0xE8: 0x27A1, 0xE9: 0x2B06, 0xEA: 0x2B07,
    0xEB: 0x2B09, 0xEC: 0x2B08, 0xED: 0x2B0B, 0xEE: 0x2B0A, 0xEF: 0x21E6, 0xF0: 0x21E8,
    0xF1: 0x21E7, 0xF2: 0x21E9, 0xF3: 0x2B04, 0xF4: 0x21F3, 0xF5: 0x2B00, 0xF6: 0x2B01,
    0xF7: 0x2B03, 0xF8: 0x2B02, 0xFB: 0x2717, 0xFC: 0x2713, 0xFD: 0x2612, 0xFE: 0x2611,
}
for i in range(10):
    WINGDINGS_BMP[0x81 + i] = 0x2460 + i     # circled digits one to ten
    WINGDINGS_BMP[0x8C + i] = 0x2776 + i     # negative circled digits one to ten
for i in range(8):
    WINGDINGS_BMP[0xC2 + i] = 0x2BB0 + i     # ribbon arrows


def symbol_table():
    t = []
    for b in range(256):
        if b < 0x20:
            t.append(b)
        else:
            t.append(SYMBOL_PRINTABLE.get(b, FFFD))
    return t


def wingdings_table():
    t = []
    for b in range(256):
        if b < 0x20 or b in (0x20, 0xA0):
            t.append(b)
        elif b in (0x7F, 0xFF):
            t.append(FFFD)
        else:
            t.append(WINGDINGS_BMP.get(b, 0xF000 + b))
    return t


def check_symbol_samples(sym, wing):
    assert sym[0x41] == 0x0391 and sym[0x61] == 0x03B1 and sym[0xA1] == 0x03D2 and sym[0xE5] == 0x2211
    assert sym[0x7F] == FFFD and sym[0xA0] == FFFD and sym[0xFF] == FFFD
    assert wing[0x21] == 0x270E and wing[0x41] == 0x270C and wing[0x4A] == 0x263A and wing[0xFC] == 0x2713
    assert wing[0x7F] == FFFD and wing[0xFF] == FFFD and wing[0x20] == 0x20 and wing[0xA0] == 0xA0


# --------------------------------------------------------------- multibyte

def two_byte_map(codec):
    """Every two-byte sequence that the codec decodes to one BMP character."""
    m = {}
    for a in range(0x81, 0xFF):
        for b in range(0x40, 0xFF):
            try:
                s = bytes([a, b]).decode(codec)
            except UnicodeDecodeError:
                continue
            if len(s) == 1 and ord(s) <= 0xFFFF:
                m[(a << 8) | b] = ord(s)
    return m


def preferred_codes(codec, dmap):
    """For each character of the map, the two-byte code the codec's encoder
    gives it (characters the encoder writes otherwise are left out)."""
    pref = {}
    for u in sorted(set(dmap.values())):
        try:
            e = chr(u).encode(codec)
        except UnicodeEncodeError:
            continue
        if len(e) == 2:
            pref[u] = (e[0] << 8) | e[1]
    return pref


class Table:
    pass


def build_table(name, codec, fallback_extras):
    dmap = two_byte_map(codec)
    pref = preferred_codes(codec, dmap)
    # Codes whose character the encoder writes with another code: they must
    # decode but never be found by the reverse lookup.
    nonpref = {c for c, u in dmap.items() if pref.get(u) != c}
    extras = []
    main = dict(dmap)
    if fallback_extras:
        extras = sorted((c, dmap[c]) for c in nonpref)
        for c in nonpref:
            del main[c]
    forced = set()
    while True:
        t = layout(main, dmap, nonpref, forced)
        wrong = check_preference(t, pref)
        if not wrong:
            break
        forced |= wrong
    t.name = name
    t.codec = codec
    t.extras = extras
    t.dmap = dmap
    t.pref = pref
    verify(t, dmap, pref)
    return t


def layout(main, known, nonpref, forced, lmin=4):
    """Splits the codes into linear entries (stretches of at least lmin codes
    with consecutive characters, never holding a code the encoder must not
    find) and runs over one Unicode array."""
    codes = sorted(main)
    linear = []          # [first, unicode, length]
    in_linear = set()
    i = 0
    while i < len(codes):
        c = codes[i]
        if c in nonpref:
            i += 1
            continue
        j = i
        while (j + 1 < len(codes) and codes[j + 1] == codes[j] + 1 and main[codes[j + 1]] == main[codes[j]] + 1
               and codes[j + 1] not in nonpref and j + 1 - i < 255):
            j += 1
        n = j - i + 1
        if n >= lmin or c in forced:
            if n < lmin:
                n = 1          # a forced code stands alone
            linear.append([c, main[c], n])
            for k in range(n):
                in_linear.add(c + k)
            i += n
        else:
            i += 1
    rest = [c for c in codes if c not in in_linear]
    runs = []            # [first, [unicode...]]
    for c in rest:
        if runs:
            first, vals = runs[-1]
            end = first + len(vals)
            gap = c - end
            # Short holes of codes that mean nothing are filled with U+FFFD
            # rather than starting a new run (which costs more).
            if 0 <= gap <= 2 and all((end + k) not in known for k in range(gap)):
                vals.extend([FFFD] * gap)
                vals.append(main[c])
                continue
        runs.append([c, [main[c]]])
    t = Table()
    t.linear = linear
    t.unicode = []
    t.runs = []
    for first, vals in runs:
        t.runs.append((first, len(t.unicode)))
        t.unicode.extend(vals)
    t.sentinel = len(t.unicode)
    assert t.sentinel < 0x10000
    return t


def table_decode(t, code):
    """The engine's lookup: linear entries first, then runs."""
    lo, hi = 0, len(t.linear)
    while lo < hi:
        mid = (lo + hi) // 2
        if t.linear[mid][0] <= code:
            lo = mid + 1
        else:
            hi = mid
    if lo > 0:
        first, uni, n = t.linear[lo - 1]
        if code < first + n:
            return uni + code - first
    lo, hi = 0, len(t.runs)
    while lo < hi:
        mid = (lo + hi) // 2
        if t.runs[mid][0] <= code:
            lo = mid + 1
        else:
            hi = mid
    if lo > 0:
        first, idx = t.runs[lo - 1]
        nxt = t.runs[lo][1] if lo < len(t.runs) else t.sentinel
        if code < first + (nxt - idx):
            return t.unicode[idx + code - first]
    return None


def build_reverse(t):
    """The engine's reverse lookup, computed for every character at once:
    linear entries from the last down, then the Unicode array from its end."""
    rev = {}
    for first, uni, n in reversed(t.linear):
        for k in range(n):
            rev.setdefault(uni + k, first + k)
    arr = {}
    for idx in range(len(t.unicode) - 1, -1, -1):
        u = t.unicode[idx]
        if u != FFFD and u not in rev and u not in arr:
            arr[u] = idx
    for u, idx in arr.items():
        # the run holding the index
        lo, hi = 0, len(t.runs)
        while lo < hi:
            mid = (lo + hi) // 2
            if t.runs[mid][1] <= idx:
                lo = mid + 1
            else:
                hi = mid
        first, ridx = t.runs[lo - 1]
        rev[u] = first + idx - ridx
    return rev


def check_preference(t, pref):
    rev = build_reverse(t)
    return {pref[u] for u in pref if rev.get(u) != pref[u]}


def verify(t, dmap, pref):
    extras = dict(t.extras)
    for code in range(0x8000, 0x10000):
        got = table_decode(t, code)
        if got is None:
            got = extras.get(code, FFFD)
        want = dmap.get(code, FFFD)
        assert got == want, (t.name, hex(code), hex(got), hex(want))
    rev = build_reverse(t)
    for u, c in pref.items():
        assert rev.get(u) == c, (t.name, hex(u))
    for u in rev:
        assert u in pref, (t.name, 'encodes a character the codec does not', hex(u))
    for f, ix in t.runs:
        assert f < 0x10000 and ix < 0x10000
    for f, u, n in t.linear:
        assert 1 <= n <= 255


def gb18030_ranges():
    """The four-byte ranges of GB18030 below U+10000: {first linear index,
    Unicode minus index}; each range ends where the next begins, the last
    at index 39420."""
    def four(L):
        b1 = 0x81 + L // 12600
        r = L % 12600
        return bytes([b1, 0x30 + r // 1260, 0x81 + (r % 1260) // 10, 0x30 + r % 10])
    ranges = []
    for L in range(39420):
        u = ord(four(L).decode('gb18030'))
        off = u - L
        if not ranges or ranges[-1][1] != off:
            ranges.append((L, off))
    for i, (L, off) in enumerate(ranges):
        assert 0 <= off < 0x10000
        end = ranges[i + 1][0] if i + 1 < len(ranges) else 39420
        for k in range(L, end):
            assert ord(four(k).decode('gb18030')) == k + off
    us = [L + off for L, off in ranges]
    assert us == sorted(us), 'ranges must rise in Unicode too'
    return ranges


# ------------------------------------------------------------------ output

HEADER = """// Generated by {script}; do not edit. Run that script to remake it.
//
// {what}
#include "core/text/charset_tables.h"
"""


def fmt_u16(vals, per=12):
    lines = []
    for i in range(0, len(vals), per):
        lines.append('    ' + ', '.join('0x%04X' % v for v in vals[i:i + per]) + ',')
    return '\n'.join(lines)


def fmt_pairs(pairs, per=6):
    lines = []
    for i in range(0, len(pairs), per):
        lines.append('    ' + ' '.join('{0x%04X, 0x%04X},' % p for p in pairs[i:i + per]))
    return '\n'.join(lines)


def fmt_u8(vals, per=20):
    lines = []
    for i in range(0, len(vals), per):
        lines.append('    ' + ', '.join('%d' % v for v in vals[i:i + per]) + ',')
    return '\n'.join(lines)


def write_sbcs(path):
    tables = {}
    for code, codec in SBCS_CODECS:
        tables[code] = sbcs_high(codec)
    tables[23] = tis620_high()
    tables[25] = [0xFF00 + b for b in range(0x80, 0x100)]
    tables[26] = [0xFF00 + b for b in range(0x80, 0x100)]
    sym, wing = symbol_table(), wingdings_table()
    check_symbol_samples(sym, wing)
    out = [HEADER.format(script=SCRIPT, what='Single-byte tables: bytes 0x80-0xFF of codes 6-26 (bytes below 0x80 map to\n'
                         '// themselves), and all 256 bytes of the Symbol and Wingdings encodings.')]
    out.append('const uint16_t Charset_sbcsHigh[21][128] = {')
    for code in range(6, 27):
        src = dict(SBCS_CODECS).get(code, {23: 'TIS-620 rule', 25: 'placeholder', 26: 'placeholder'}.get(code))
        out.append('    // %d: %s' % (code, src))
        out.append('    {')
        out.append(fmt_u16(tables[code], 8).replace('    ', '        ', 1).replace('\n    ', '\n        '))
        out.append('    },')
    out.append('};\n')
    out.append('const uint16_t Charset_symbolTable[256] = {')
    out.append(fmt_u16(sym, 8))
    out.append('};\n')
    out.append('const uint16_t Charset_wingdingsTable[256] = {')
    out.append(fmt_u16(wing, 8))
    out.append('};')
    with open(path, 'w') as f:
        f.write('\n'.join(out) + '\n')


def write_cjk(path, tables, gbr):
    out = [HEADER.format(script=SCRIPT, what='East Asian tables in the record format of the multibyte codec: a\n'
                         '// Unicode array with its runs {first code, array index} (closed by a\n'
                         '// sentinel), linear entries {first code, first Unicode} with their lengths,\n'
                         '// the Japanese extra pairs and the GB18030 four-byte ranges.')]
    for t in tables:
        p = 'Charset_' + t.name
        out.append('// %s: published mapping of %s; %d codes, %d array entries, %d runs, %d linear entries.'
                   % (t.name, t.codec, len(t.dmap), len(t.unicode), len(t.runs), len(t.linear)))
        out.append('const uint16_t %sUnicode[%d] = {' % (p, len(t.unicode)))
        out.append(fmt_u16(t.unicode))
        out.append('};')
        out.append('const CharsetRun %sRuns[%d] = {' % (p, len(t.runs) + 1))
        out.append(fmt_pairs(list(t.runs) + [(0xFFFF, t.sentinel)]))
        out.append('};')
        out.append('const CharsetLinear %sLinear[%d] = {' % (p, len(t.linear)))
        out.append(fmt_pairs([(f, u) for f, u, n in t.linear]))
        out.append('};')
        out.append('const uint8_t %sLinearLen[%d] = {' % (p, len(t.linear)))
        out.append(fmt_u8([n for f, u, n in t.linear]))
        out.append('};')
        out.append('const uint32_t %sCounts[3] = {%d, %d, %d};' % (p, len(t.unicode), len(t.runs), len(t.linear)))
        if t.extras:
            out.append('const CharsetPair %sExtras[%d] = {' % (p, len(t.extras)))
            out.append(fmt_pairs(t.extras))
            out.append('};')
            out.append('const uint32_t %sExtraCount = %d;' % (p, len(t.extras)))
        out.append('')
    out.append('// GB18030 four-byte ranges below U+10000 (linear index 0-39419).')
    out.append('const CharsetGbRange Charset_gbRanges[%d] = {' % len(gbr))
    out.append(fmt_pairs(gbr))
    out.append('};')
    out.append('const uint32_t Charset_gbRangeCount = %d;' % len(gbr))
    with open(path, 'w') as f:
        f.write('\n'.join(out) + '\n')


def main():
    write_sbcs(os.path.join(ROOT, 'core/text/charset_sbcs_tables.cpp'))
    tables = [
        build_table('japanese', 'cp932', True),
        build_table('big5', 'cp950', False),
        build_table('korean', 'cp949', False),
        build_table('chinese', 'gb18030', False),
    ]
    for t in tables:
        print('%-9s %-8s codes %5d array %5d runs %4d linear %4d extras %3d' % (
            t.name, t.codec, len(t.dmap), len(t.unicode), len(t.runs), len(t.linear), len(t.extras)))
    write_cjk(os.path.join(ROOT, 'core/text/charset_cjk_tables.cpp'), tables, gb18030_ranges())


if __name__ == '__main__':
    main()
