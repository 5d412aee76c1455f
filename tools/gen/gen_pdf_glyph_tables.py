#!/usr/bin/python3
"""Makes the glyph-name table and the five base encodings of PDF simple
fonts (fonts/glyphnamedata.cpp).

Sources (Debian packages python3-fonttools and fonts-urw-base35):
  - the glyph-name table: the Adobe Glyph List (fontTools.agl, BSD
    licence), one entry per name with a single 16-bit value, sorted by
    name in byte order. The twelve names that the older list mapped twice
    get their second value as a second entry behind the first, which
    stays the one a lookup answers:
      Delta 2206/0394, Omega 2126/03A9, Scedilla 015E/F6C1,
      Tcommaaccent 0162/021A, fraction 2044/2215, hyphen 002D/00AD,
      macron 00AF/02C9, mu 00B5/03BC, periodcentered 00B7/2219,
      scedilla 015F/F6C2, space 0020/00A0, tcommaaccent 0163/021B.
  - StandardEncoding and MacRomanEncoding: fontTools.encodings, names
    turned into values through the table; undefined codes hold the code.
  - WinAnsiEncoding: Windows code page 1252; undefined codes (0x7F, 0x81,
    0x8D, 0x8F, 0x90, 0x9D) and control codes hold the code.
  - Symbol and ZapfDingbats: the built-in encodings of the URW fonts'
    AFM files (StandardSymbolsPS.afm, D050000L.afm); undefined codes hold
    0. Symbol's 0x20 is U+00A0, and its private values are only those of
    U+F6D9-U+F6DB and U+F8E5-U+F8FE (the URW font's apple is left out); ZapfDingbats names (a1 ...) use the
    dingbat list of fontTools.agl, and 0x80-0x8D hold U+F8D7-U+F8E4.

The generated file is committed; building never needs this script. Run
  tools/gen/gen_pdf_glyph_tables.py > fonts/glyphnamedata.cpp
"""

import sys

sys.path.append('/usr/lib/python3/dist-packages')
from fontTools import agl  # noqa: E402
from fontTools.encodings.MacRoman import MacRoman  # noqa: E402
from fontTools.encodings.StandardEncoding import StandardEncoding  # noqa: E402

AFM = '/usr/share/fonts/type1/urw-base35/'

SECOND = [('Delta', 0x0394), ('Omega', 0x03A9), ('Scedilla', 0xF6C1), ('Tcommaaccent', 0x021A),
          ('fraction', 0x2215), ('hyphen', 0x00AD), ('macron', 0x02C9), ('mu', 0x03BC),
          ('periodcentered', 0x2219), ('scedilla', 0xF6C2), ('space', 0x00A0),
          ('tcommaaccent', 0x021B)]
FIRST = {'Delta': 0x2206, 'Omega': 0x2126, 'Scedilla': 0x015E, 'Tcommaaccent': 0x0162,
         'fraction': 0x2044, 'hyphen': 0x002D, 'macron': 0x00AF, 'mu': 0x00B5,
         'periodcentered': 0x00B7, 'scedilla': 0x015F, 'space': 0x0020, 'tcommaaccent': 0x0163}


def glyph_table():
    text = agl._aglText
    entries = []
    for line in text.splitlines():
        if not line or line.startswith('#'):
            continue
        name, values = line.split(';')
        values = values.split()
        if len(values) != 1 or int(values[0], 16) > 0xFFFF:
            continue
        entries.append((name, int(values[0], 16)))
    names = dict(entries)
    for n, v in FIRST.items():
        if names.get(n) != v:
            raise SystemExit('%s is %r, not %04X' % (n, names.get(n), v))
    entries += SECOND
    # Stable sort keeps each name's first value first.
    entries.sort(key=lambda e: e[0].encode())
    return entries


def lookup(table, name):
    for n, v in table:
        if n == name:
            return v
    return 0


def afm_codes(path):
    codes = {}
    with open(path) as f:
        for line in f:
            if not line.startswith('C '):
                continue
            fields = [p.strip() for p in line.split(';')]
            code = int(fields[0].split()[1])
            name = [p.split()[1] for p in fields if p.startswith('N ')][0]
            if 0 <= code < 256:
                codes[code] = name
    return codes


def main():
    table = glyph_table()
    first = {}
    for n, v in table:
        first.setdefault(n, v)

    def by_name(names, undefined_is_code):
        out = []
        for code, name in enumerate(names):
            v = first.get(name, 0) if name != '.notdef' else 0
            if not v and undefined_is_code:
                v = code
            out.append(v)
        return out

    standard = by_name(StandardEncoding, True)
    macroman = by_name(MacRoman, True)
    winansi = []
    for code in range(256):
        try:
            ch = bytes([code]).decode('cp1252')
            v = ord(ch)
        except UnicodeDecodeError:
            v = code
        winansi.append(v)
    symbol_names = afm_codes(AFM + 'StandardSymbolsPS.afm')
    symbol = [first.get(symbol_names[c], 0) if c in symbol_names else 0 for c in range(256)]
    symbol[0x20] = 0x00A0
    # Private values only for the glyphs without a standard character
    # (U+F6D9-U+F6DB, U+F8E5-U+F8FE); the URW font's extra apple is left
    # out.
    for c in range(256):
        v = symbol[c]
        if 0xE000 <= v < 0xF900 and not (0xF6D9 <= v <= 0xF6DB or 0xF8E5 <= v <= 0xF8FE):
            symbol[c] = 0
    zapf_names = afm_codes(AFM + 'D050000L.afm')
    zapf = [0] * 256
    for c, name in zapf_names.items():
        if name == 'space':
            zapf[c] = 0x20
            continue
        u = agl._zapfDingbatsToUnicode(name)
        zapf[c] = ord(u) if u else 0
    for c in range(0x80, 0x8E):
        zapf[c] = 0xF8D7 + c - 0x80
    zapf[0x20] = 0x20

    w = sys.stdout.write
    w('// Generated by tools/gen/gen_pdf_glyph_tables.py from the Adobe Glyph List\n')
    w('// (fontTools.agl) and the URW base-35 AFM files: do not edit.\n')
    w('#include "fonts/glyphnames.h"\n\n')
    w('const PdfGlyphNameEntry Pdf_glyphNameTable[] = {\n')
    for n, v in table:
        w('    {"%s", 0x%04X},\n' % (n, v))
    w('};\n')
    w('const uint32_t Pdf_glyphNameCount = %d;\n\n' % len(table))
    w('const uint16_t Pdf_baseEncodings[5][256] = {\n')
    for label, t in (('Standard', standard), ('WinAnsi', winansi), ('MacRoman', macroman),
                     ('ZapfDingbats', zapf), ('Symbol', symbol)):
        w('    // %s\n    {\n' % label)
        for i in range(0, 256, 8):
            w('        ' + ' '.join('0x%04X,' % v for v in t[i:i + 8]) + '\n')
        w('    },\n')
    w('};\n')


main()
