#!/usr/bin/python3
"""Makes the built-in files of the engine (platform/vfs/romfs_data.cpp).

The program carries eight small files that its font and image code open
under "/okala_dir/": two identity CMaps, the base-14 font metrics, the
font map and four placeholder pictures. This script makes all of them
from free sources and writes them as constant byte arrays:

  Fonts/bincmaps/identity-v.dat   "BINCMAP1" + Ordering "Identity" + no
                                  usecmap + the end block (20 bytes).
  Fonts/bincmaps/identity-h.dat   "BINCMAP3" + "Identity" + no usecmap +
                                  a zlib stream of blocks: one 2-byte
                                  range 0000-FFFF -> CID 0 (delta coded:
                                  low 0, high stored as FFFE), then the
                                  end block.
  Fonts/psbase14.bfm              base-14 metrics from the URW base-35
                                  AFM files (Debian fonts-urw-base35);
                                  format below.
  Fonts/map                       the default font map text.
  Resource/image/*.png            drawn 16x16 pictures, padded with a
                                  private ancillary chunk ("vxPd") to
                                  their fixed lengths.

The generated file is committed; building never needs this script or its
packages. Run it again after changing it:
  apt-get install fonts-urw-base35 python3-fonttools
  tools/gen/gen_romfs.py > platform/vfs/romfs_data.cpp

With --viewer it writes the viewer's own pictures instead
(viewer/anim/builtinimages_data.cpp), which need nothing but Python:

  Img/cursor.png                  an arrow pointer, 12 x 19, 2-bit palette,
                                  the background transparent.
  Img/hourglass.png               the busy indicator, 13 x 19, likewise.
  Img/magnifier.gif               a magnifying glass, 16 x 16, padded with a
                                  comment extension to 911 bytes.
  Img/fileviewer-ident.png        the identity picture, 120 x 160, padded
                                  with a "vxPd" chunk to 13203 bytes.
  Img/fileviewer-ident-landscape.png  the same picture turned, 160 x 120.

psbase14.bfm (all 16-bit fields little-endian)
----------------------------------------------
  0  u16 total file length
  2  u16 header length H = 4 + 6 * 21 = 130
  4  21 entries {A, B, offset}; offset counts from H (the data area);
     zlib entries: A = unpacked length, B = packed length; coded lists:
     A = value count, B = byte length; raw tables: A = B = byte length.
  Entry 0  width list: the distinct advance widths (thousandths of an
           em) of every glyph of the ten metric fonts, rising. A nibble
           stream, low nibble first; the running value starts at -1;
           nibble n < 15 adds n + 1 and gives a value; nibble 15 takes
           the next three nibbles as a number s (first nibble highest)
           and adds s + 1, giving a value.
  Entry 1  kerning value list: the distinct kerning values (with 0),
           rising. The running value starts at -180; nibble n < 8 adds
           step[n] and gives a value; nibble n >= 8 adds step[n - 8]
           without giving one; step = 1, 2, 3, 4, 5, 10, 20, 32.
  Entry 2  pair bitmap (zlib): bit (a << 8 | b) is set when some font
           kerns the pair of kerning codes with indices a, b; 32-bit
           little-endian words, most significant bit first.
  Entry 3  kerning code list: the Unicode codes of the kerned glyphs,
           rising, as a nibble stream like the width list but starting
           at 0 with nibble n < 15 adding n (and escapes adding s + 1). The
           last four codes are the four curly quotes, stored less 7424.
  Entries 4, 5, 6  code ranges of the standard fonts (Unicode codes),
           Symbol and ZapfDingBats (their own codes): 4-byte records
           {start = code - 32, base glyph index}, A / 4 - 1 ranges and
           a closing record whose base ends the last range.
  Entries 7-20  per font (zlib): width indices, one byte per glyph index
           of its group, into the width list; and kerning classes, one
           byte per set bit of the pair bitmap in bit order, into the
           kerning value list. Font 9 uses 7 and 8, 11 uses 9 and 10, 10
           uses 11 and 12, 12 uses 13 and 14, 4 and 6 use 15 and 16, 5
           and 7 use 17 and 18, 8 uses 19 and 13 uses 20 (no kerning).
Kerning is kept for pairs of glyphs whose codes are below U+0180 or are
one of the four curly quotes.
"""

import os
import struct
import sys
import zlib

AFM_DIR = "/usr/share/fonts/type1/urw-base35"

# Font index -> AFM file (the four Courier fonts need no data).
FONTS = {
    4: "NimbusSans-Regular", 5: "NimbusSans-Bold", 6: "NimbusSans-Italic",
    7: "NimbusSans-BoldItalic", 8: "StandardSymbolsPS", 9: "NimbusRoman-Regular",
    10: "NimbusRoman-Bold", 11: "NimbusRoman-Italic", 12: "NimbusRoman-BoldItalic",
    13: "D050000L",
}
STANDARD = [4, 5, 6, 7, 9, 10, 11, 12]
# Entries of each font's width indices and kerning classes.
FONT_ENTRIES = {9: (7, 8), 11: (9, 10), 10: (11, 12), 12: (13, 14), 4: (15, 16),
                6: (15, 16), 5: (17, 18), 7: (17, 18), 8: (19, None), 13: (20, None)}
EXTRA_NAMES = """OE oe Scaron scaron Ydieresis Zcaron zcaron florin circumflex tilde
endash emdash quoteleft quoteright quotesinglbase quotedblleft quotedblright
quotedblbase dagger daggerdbl bullet ellipsis perthousand guilsinglleft
guilsinglright trademark dotlessi Lslash lslash fi fl fraction breve dotaccent
ring hungarumlaut ogonek caron Euro""".split()
QUOTES = [0x2018, 0x2019, 0x201C, 0x201D]
KERN_STEPS = [1, 2, 3, 4, 5, 10, 20, 32]


def read_afm(name):
    glyphs, kerns = {}, {}
    with open(os.path.join(AFM_DIR, name + ".afm"), encoding="latin-1") as f:
        for line in f:
            if line.startswith("C "):
                fields = dict(p.strip().split(" ", 1) for p in line.split(";") if p.strip())
                glyphs[fields["N"]] = (int(fields["C"]), int(round(float(fields["WX"]))))
            elif line.startswith("KPX "):
                _, a, b, v = line.split()
                kerns[(a, b)] = int(round(float(v)))
    return glyphs, kerns


class Nibbles:
    def __init__(self):
        self.n = []

    def put(self, v):
        self.n.append(v)

    def bytes(self):
        n = self.n + ([0] if len(self.n) % 2 else [])
        return bytes(n[i] | (n[i + 1] << 4) for i in range(0, len(n), 2))


def code_rising(values, start, plus):
    """Width and code lists: nibble n < 15 adds n + plus, 15 escapes."""
    out, cur = Nibbles(), start
    for v in values:
        step = v - cur
        assert step >= plus, (v, cur)
        if step - plus < 15:
            out.put(step - plus)
        else:
            s = step - 1
            assert s < 4096
            out.put(15)
            out.put((s >> 8) & 15)
            out.put((s >> 4) & 15)
            out.put(s & 15)
        cur = v
    return out.bytes()


def code_kern_values(values):
    out, cur = Nibbles(), -180
    for v in values:
        gap = v - cur
        assert gap > 0
        # Largest steps first without giving a value, then the last step.
        while gap not in KERN_STEPS:
            step = max(s for s in KERN_STEPS if s < gap)
            out.put(8 + KERN_STEPS.index(step))
            gap -= step
        out.put(KERN_STEPS.index(gap))
        cur = v
    return out.bytes()


def ranges(codes):
    """4-byte records {code - 32, base glyph index} and the closing one."""
    recs, index, i = b"", 0, 0
    while i < len(codes):
        j = i
        while j + 1 < len(codes) and codes[j + 1] == codes[j] + 1:
            j += 1
        recs += struct.pack("<HH", codes[i] - 32, index)
        index += j - i + 1
        i = j + 1
    return recs + struct.pack("<HH", codes[-1] + 1 - 32, index)


def make_base14():
    from fontTools import agl
    afm = {i: read_afm(n) for i, n in FONTS.items()}

    def uni(name):
        u = agl.toUnicode(name)
        return ord(u) if len(u) == 1 else None

    names = set(afm[STANDARD[0]][0])
    for i in STANDARD[1:]:
        names &= set(afm[i][0])
    std = {}
    for n in names:
        u = uni(n)
        if u is None:
            continue
        if 0x20 <= u <= 0x7E or 0xA0 <= u <= 0xFF or n in EXTRA_NAMES:
            std.setdefault(u, n)
    std_codes = sorted(std)
    sym = {c: n for n, (c, w) in afm[8][0].items() if 32 <= c <= 255}
    dng = {c: n for n, (c, w) in afm[13][0].items() if 32 <= c <= 255}
    groups = {"std": (std_codes, std), "sym": (sorted(sym), sym), "dng": (sorted(dng), dng)}
    group_of = {i: "std" for i in STANDARD}
    group_of[8], group_of[13] = "sym", "dng"

    widths = set()
    for i in FONTS:
        codes, names_by_code = groups[group_of[i]]
        widths |= {afm[i][0][names_by_code[c]][1] for c in codes}
    widths = sorted(widths)
    assert len(widths) <= 256, len(widths)

    def kept(u):
        return u is not None and (u < 0x180 or u in QUOTES)

    kern_fonts = [9, 11, 10, 12, 4, 5]
    name_of = {u: n for u, n in std.items()}
    code_of = {n: u for u, n in std.items()}
    pairs = {}
    for i in kern_fonts:
        for (a, b), v in afm[i][1].items():
            ua, ub = code_of.get(a), code_of.get(b)
            if kept(ua) and kept(ub) and v:
                pairs.setdefault((ua, ub), {})[i] = max(v, -179)
    kcodes = sorted({u for p in pairs for u in p})
    assert len(kcodes) <= 256 and kcodes[-4:] == QUOTES, kcodes[-6:]
    kindex = {u: k for k, u in enumerate(kcodes)}
    values = sorted({v for d in pairs.values() for v in d.values()} | {0})
    assert len(values) <= 256 and values[0] > -180
    vindex = {v: k for k, v in enumerate(values)}

    bits = sorted((kindex[a] << 8) | kindex[b] for a, b in pairs)
    by_bit = {(kindex[a] << 8) | kindex[b]: (a, b) for a, b in pairs}
    nwords = (len(kcodes) * 256 + 31) // 32
    words = [0] * nwords
    for p in bits:
        words[p >> 5] |= 1 << (31 - (p & 31))
    bitmap = struct.pack("<%dI" % nwords, *words)

    entries = [None] * 21
    stored_codes = kcodes[:-4] + [u - 7424 for u in kcodes[-4:]]
    entries[0] = (len(widths), code_rising(widths, -1, 1))
    entries[1] = (len(values), code_kern_values(values))
    entries[2] = ("z", bitmap)
    entries[3] = (len(kcodes), code_rising(stored_codes, 0, 0))
    for e, g in ((4, "std"), (5, "sym"), (6, "dng")):
        r = ranges(groups[g][0])
        entries[e] = (len(r), r)
    for i, (we, ke) in FONT_ENTRIES.items():
        if entries[we] is not None:
            continue  # an oblique shares its upright font's entries
        codes, names_by_code = groups[group_of[i]]
        windex = bytes(widths.index(afm[i][0][names_by_code[c]][1]) for c in codes)
        entries[we] = ("z", windex)
        if ke is not None:
            entries[ke] = ("z", bytes(vindex[pairs[by_bit[p]].get(i, 0)] for p in bits))

    head_len = 4 + 6 * 21
    data, table = b"", b""
    for a, body in entries:
        if a == "z":
            packed = zlib.compress(body, 9)
            table += struct.pack("<HHH", len(body), len(packed), len(data))
            data += packed
        else:
            table += struct.pack("<HHH", a, len(body), len(data))
            data += body
    total = head_len + len(data)
    assert total < 65536
    return struct.pack("<HH", total, head_len) + table + data


def make_cmaps():
    v = b"BINCMAP1" + b"Identity\0" + b"\0" + b"\0\0"
    block = struct.pack(">HBHHH", 1, 0x82, 0, 0, 0xFFFE) + b"\0\0"
    h = b"BINCMAP3" + b"Identity\0" + b"\0" + zlib.compress(block, 9)
    return v, h


LIBERATION = "file://root/usr/share/fonts/truetype/liberation2/Liberation"
DEJAVU = "file://root/usr/share/fonts/truetype/dejavu/DejaVu"
DROID = "file://root/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf"


def make_map():
    """The font map: the families documents name, sent to free fonts.

    [Library] lines name the fonts of Debian packages by absolute file URLs
    (host "root"): Liberation (fonts-liberation2) for the Arial, Times and
    Courier families, DejaVu (fonts-dejavu-core) for the other Latin,
    Vietnamese and Arabic families, Droid Sans Fallback Full
    (fonts-droid-fallback) for every CJK family; Symbol and Dingbats are
    the built-in "msyrr.ef1" and "dbtrr.ef1" (tools/gen/gen_symbol_fonts.py).
    A font whose package is missing only skips its line. Scripts without a
    font in these packages (Thai, the Indic "Shree" lines) are left out.
    """
    def styles(base, regular, italic, bold, bold_italic):
        return [base + regular, "I " + base + italic, "B " + base + bold,
                "I B " + base + bold_italic]

    sans = DEJAVU + "Sans.ttf"
    sans_bold = DEJAVU + "Sans-Bold.ttf"
    lib = [
        ("Arial:Helvetica:SwissA:sans-serif",
         styles(LIBERATION + "Sans-", "Regular.ttf", "Italic.ttf", "Bold.ttf", "BoldItalic.ttf")),
        ("Tahoma:ChristinaSans:sans-serif", [sans, "B " + sans_bold]),
        ("Verdana:Tabin:sans-serif", [sans, "B " + sans_bold]),
        ("Trebuchet:ChrisSans:sans-serif", [sans, "B " + sans_bold]),
        ("Times New Roman:Times:NewTimes:serif",
         styles(LIBERATION + "Serif-", "Regular.ttf", "Italic.ttf", "Bold.ttf", "BoldItalic.ttf")),
        ("Georgina:Sabina:serif", [DEJAVU + "Serif.ttf", "B " + DEJAVU + "Serif-Bold.ttf"]),
        ("Courier New:Courier:NewCourier:monospace",
         styles(LIBERATION + "Mono-", "Regular.ttf", "Italic.ttf", "Bold.ttf", "BoldItalic.ttf")),
        ("Comic Sans:Informal:sans-serif", [sans, "B " + sans_bold]),
        ("SwissMonospaced:monospace", [DEJAVU + "SansMono.ttf", "B " + DEJAVU + "SansMono-Bold.ttf"]),
        ("Symbol PS:Symbol:MathGreek", ["msyrr.ef1"]),
        ("Zapf Dingbats:ZapfDingbats:Dingbats", ["dbtrr.ef1"]),
        ("Kati:SimHei:AR PL KatiM GB", [DROID]),
        ("Kati:SimHei:AR PL KatiM GB:lang-zh_cn", [DROID]),
        ("SungTi:SimSun:NSimSun:AR PL SungtiL GB", [DROID]),
        ("BitsHei:BitsHei-GB2312:SimHei:lang-zh_cn", [DROID]),
        ("Mingti:AR PL Mingti2L Big5:MingLiU:PMingLiU", [DROID]),
        ("Mingti:AR PL Mingti2L Big5:MingLiU:PMingLiU:lang-zh_tw", [DROID]),
        ("Kati:AR PL KatiM Big5", [DROID]),
        ("Kochi-Mincho:Mincho:MS Mincho:MS PMincho", [DROID]),
        ("Kochi-Gothic:Gothic:MS Gothic:MS PGothic:MS UI Gothic:FA PGothic", [DROID]),
        ("HGGothicB:Gothic:MS Gothic", [DROID]),
        ("MS Gothic", [DROID]),
        ("Baekmuk Batang:Batang:BatangChe:Gungsuh:GungsuhChe", [DROID]),
        ("Baekmuk Dotum:Dotum", [DROID]),
        ("Baekmuk Gulim:Gulim", [DROID]),
        ("SB Gothic CJK1", [DROID]),
        ("AntiqueGothicVietnamese:lang-vi_vn", [sans]),
        ("Helvetica Linotype:lang-ar_ar", [sans, "B " + sans_bold]),
        ("addition", [sans]),
        ("lang-latn", [sans]),
    ]
    lines = ["# Default font map.", "# [Library] names,slant,,weight,,,file", "",
             "[Buffered]", "", "[Library]"]
    for names, files in lib:
        for f in files:
            parts = f.split(" ")
            file = parts[-1]
            slant = "Italic" if "I" in parts[:-1] else ""
            weight = "Bold" if "B" in parts[:-1] else "Black" if "X" in parts[:-1] else "Regular"
            lines.append("%s,%s,,%s,,,%s" % (names, slant, weight, file))
    lines += ["", "[Defaults]"]
    defaults = [("Arial", "Helvetica,sans-serif"), ("Courier New", "Courier,monospace"),
                ("Times New Roman", "Times,serif"), ("SymbolPS", "Symbol"),
                ("Georgina", "Times New Roman,Times,serif"),
                ("Tahoma", "Verdana,Arial,Helvetica,sans-serif"),
                ("Verdana", "Tahoma,Arial,Helvetica,sans-serif"),
                ("Courier", "Courier New,monospace"), ("Helvetica", "Arial,sans-serif"),
                ("Times", "Times New Roman,serif"), ("Symbol", "SymbolPS"),
                ("AvantGarde", "Arial,Helvetica,sans-serif"),
                ("Bookman", "Times,Times New Roman,serif"),
                ("NewCenturySchlbk", "Times,Times New Roman,serif"),
                ("Palatino", "Times,Times New Roman,serif"), ("*", "sans-serif")]
    lines += ["%s:%s" % kv for kv in defaults]
    lines += ["", "[Supplements]"]
    supplements = [("frutbd.ttf", "sans-serif"), ("frutiger.ttf", "sans-serif"),
                   ("frutit.ttf", "sans-serif"), ("tahoma.ttf", "sans-serif: language"),
                   ("tahomabd.ttf", "sans-serif: language"), ("cour.ttf", "monospace"),
                   ("bkdings.ttf", "symbol"), ("nina.ttf", "sans-serif"),
                   ("ninab.ttf", "sans-serif")]
    lines += ["%s: %s" % kv for kv in supplements]
    return ("\n".join(lines) + "\n").encode("ascii")


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def png(rows, palette, length):
    """A 16x16 2-bit palette PNG padded to exactly length bytes."""
    raw = b""
    for row in rows:
        px = [int(c) for c in row]
        raw += b"\0" + bytes((px[i] << 6) | (px[i + 1] << 4) | (px[i + 2] << 2) | px[i + 3]
                             for i in range(0, 16, 4))
    out = b"\x89PNG\r\n\x1a\n"
    out += chunk(b"IHDR", struct.pack(">IIBBBBB", 16, 16, 2, 3, 0, 0, 0))
    out += chunk(b"PLTE", b"".join(bytes(c) for c in palette))
    out += chunk(b"tRNS", b"\0")
    out += chunk(b"IDAT", zlib.compress(raw, 9))
    end = chunk(b"IEND", b"")
    pad = length - len(out) - len(end)
    assert pad >= 12, (length, pad)
    return out + chunk(b"vxPd", b"\0" * (pad - 12)) + end


FRAME = ["1111111111111111"] + ["1" + "2" * 14 + "1"] * 14 + ["1111111111111111"]


def overlay(base, marks):
    rows = [list(r) for r in base]
    for y, x in marks:
        rows[y][x] = "3"
    return ["".join(r) for r in rows]


def make_images():
    grey = [(0, 0, 0), (96, 96, 96), (232, 232, 232)]
    question = [(3, 6), (3, 7), (3, 8), (3, 9), (4, 5), (4, 10), (5, 10), (6, 9), (7, 8),
                (8, 7), (9, 7), (10, 7), (12, 7), (13, 7)]
    crack = [(1, 9), (2, 8), (3, 8), (4, 7), (5, 8), (6, 9), (7, 8), (8, 7), (9, 6), (10, 7),
             (11, 8), (12, 7), (13, 6), (14, 6)]
    cross = [(i, i) for i in range(2, 14)] + [(i, 15 - i) for i in range(2, 14)]
    return {
        "unknown.png": png(overlay(FRAME, question), grey + [(32, 64, 192)], 415),
        "broken.png": png(overlay(FRAME, crack), grey + [(200, 32, 32)], 411),
        "placeholder.png": png(FRAME, grey + [(0, 0, 0)], 339),
        "unreachable.png": png(overlay(FRAME, cross), grey + [(160, 0, 0)], 217),
    }


def png_image(rows, palette, transparent, length=None):
    """A palette PNG of 2 bits per pixel from rows of digits 0-3; index 0 is
    transparent when asked; padded to length bytes when given."""
    w, h = len(rows[0]), len(rows)
    raw = b""
    for row in rows:
        px = [int(c) for c in row] + [0] * (-len(row) % 4)
        raw += b"\0" + bytes((px[i] << 6) | (px[i + 1] << 4) | (px[i + 2] << 2) | px[i + 3]
                             for i in range(0, len(px), 4))
    out = b"\x89PNG\r\n\x1a\n"
    out += chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 2, 3, 0, 0, 0))
    out += chunk(b"PLTE", b"".join(bytes(c) for c in palette))
    if transparent:
        out += chunk(b"tRNS", b"\0")
    out += chunk(b"IDAT", zlib.compress(raw, 9))
    end = chunk(b"IEND", b"")
    if length is None:
        return out + end
    pad = length - len(out) - len(end)
    assert pad >= 12, (length, pad)
    return out + chunk(b"vxPd", b"\0" * (pad - 12)) + end


def gif_image(rows, palette, length):
    """A GIF89a picture from rows of palette indices, LZW-coded with a clear
    code before the code size would grow, padded with a comment extension
    to length bytes."""
    w, h = len(rows[0]), len(rows)
    m = 7  # minimum code size: codes of 8 bits, 126 literals between clears
    table = b"".join(bytes(c) for c in palette) + b"\0" * (3 * (128 - len(palette)))
    codes, run = [1 << m], 0
    for row in rows:
        for c in row:
            codes.append(int(c))
            run += 1
            if run == (1 << m) - 2:
                codes.append(1 << m)
                run = 0
    codes.append((1 << m) + 1)
    data = bytes(codes)  # 8-bit codes pack one to a byte
    blocks = b"".join(bytes([len(data[i:i + 255])]) + data[i:i + 255] for i in range(0, len(data), 255))
    out = b"GIF89a" + struct.pack("<HHBBB", w, h, 0xF6, 0, 0) + table
    image = b"," + struct.pack("<HHHHB", 0, 0, w, h, 0) + bytes([m]) + blocks + b"\0"
    pad = length - len(out) - len(image) - 1 - 4
    assert pad >= 0, (length, pad)
    comment = b"!\xfe" + b"".join(bytes([len(p)]) + p for p in
                                   (b"\0" * min(255, pad - i) for i in range(0, pad, 256))) + b"\0"
    body = out + image
    while len(body) + len(comment) + 1 != length:
        # Each sub-block costs one length byte: fill to the exact size.
        pad += length - (len(body) + len(comment) + 1)
        comment = b"!\xfe"
        left = pad
        while left > 0:
            n = min(255, left)
            comment += bytes([n]) + b"\0" * n
            left -= n + 1
        comment += b"\0"
        if pad <= 0:
            break
    return body + comment + b";"


def make_viewer_images():
    arrow = []
    for y in range(19):
        row = ""
        for x in range(12):
            inside = x <= y and x < 12 - max(0, y - 12) and y < 17 - (x // 3)
            edge = inside and (x == 0 or x == y or y == 16 - (x // 3) or x == 11 - max(0, y - 12))
            row += "1" if edge else ("2" if inside else "0")
        arrow.append(row)
    glass = []
    for y in range(19):
        half = abs(9 - y)
        width = 1 + half * 6 // 9
        row = "".join("1" if x in (6 - width, 6 + width) or y in (0, 18) else
                      ("3" if 6 - width < x < 6 + width and (y > 12 or (y < 9 and y > 9 - half // 2))
                       else ("2" if 6 - width < x < 6 + width else "0")) for x in range(13))
        glass.append(row)
    lens = []
    for y in range(16):
        row = ""
        for x in range(16):
            d = (x - 6) ** 2 + (y - 6) ** 2
            row += "1" if 16 <= d <= 30 else ("2" if d < 16 else ("1" if x > 9 and y > 9 and abs(x - y) <= 1 else "0"))
        lens.append(row)
    ident = []
    for y in range(160):
        row = ""
        for x in range(120):
            frame = x < 4 or x >= 116 or y < 4 or y >= 156
            band = 60 <= y < 100 and 20 <= x < 100
            mark = band and (x - 20) // 10 % 2 == (y - 60) // 10 % 2
            row += "1" if frame else ("3" if mark else ("2" if band else "0"))
        ident.append(row)
    landscape = ["".join(ident[159 - y][x] for y in range(160)) for x in range(120)]
    black, white = (0, 0, 0), (255, 255, 255)
    return {
        "cursor.png": png_image(arrow, [white, black, white, white], True),
        "hourglass.png": png_image(glass, [white, (40, 40, 40), (240, 240, 240), (200, 150, 40)], True),
        "magnifier.gif": gif_image(lens, [white, black, (180, 210, 240)], 911),
        "fileviewer-ident.png": png_image(ident, [white, (30, 60, 120), (220, 230, 245), (30, 60, 120)], False,
                                          13203),
        "fileviewer-ident-landscape.png": png_image(landscape, [white, (30, 60, 120), (220, 230, 245),
                                                                (30, 60, 120)], False),
    }


def main_viewer():
    images = make_viewer_images()
    names = ["magnifier.gif", "fileviewer-ident.png", "fileviewer-ident-landscape.png", "cursor.png",
             "hourglass.png"]
    out = sys.stdout
    out.write("// The bytes of the viewer's built-in pictures. Generated by\n")
    out.write("// tools/gen/gen_romfs.py --viewer (see there for what each holds); do not edit.\n")
    out.write('#include "viewer/anim/anim.h"\n\nnamespace {\n\n')
    for i, name in enumerate(names):
        out.write(c_array("image%d" % i, images[name]) + "\n\n")
    out.write("} // namespace\n\nconst RomFsEntry Fv_builtinImages[Fv_builtinImageCount] = {\n")
    for i, name in enumerate(names):
        out.write('    {"/okala_dir/Img/%s", image%d, %d},\n' % (name, i, len(images[name])))
    out.write("};\n")


def c_array(name, data):
    lines = ["const uint8_t %s[%d] = {" % (name, len(data))]
    for i in range(0, len(data), 16):
        lines.append("    " + " ".join("0x%02x," % b for b in data[i:i + 16]))
    lines.append("};")
    return "\n".join(lines)


def main():
    idv, idh = make_cmaps()
    images = make_images()
    files = [
        ("/okala_dir/Fonts/bincmaps/identity-v.dat", "identityV", idv),
        ("/okala_dir/Fonts/psbase14.bfm", "psbase14", make_base14()),
        ("/okala_dir/Fonts/bincmaps/identity-h.dat", "identityH", idh),
        ("/okala_dir/Resource/image/unknown.png", "unknownPng", images["unknown.png"]),
        ("/okala_dir/Resource/image/broken.png", "brokenPng", images["broken.png"]),
        ("/okala_dir/Fonts/map", "fontMap", make_map()),
        ("/okala_dir/Resource/image/placeholder.png", "placeholderPng",
         images["placeholder.png"]),
        ("/okala_dir/Resource/image/unreachable.png", "unreachablePng",
         images["unreachable.png"]),
    ]
    out = sys.stdout
    out.write("// The bytes of the core built-in files. Generated by tools/gen/gen_romfs.py\n")
    out.write("// (see there for what each file holds and how it was made); do not edit.\n")
    out.write('#include "platform/vfs/romfs.h"\n\nnamespace {\n\n')
    for _, name, data in files:
        out.write(c_array(name, data) + "\n\n")
    out.write("} // namespace\n\nconst RomFsEntry RomFs_builtins[8] = {\n")
    for path, name, data in files:
        out.write('    {"%s", %s, %d},\n' % (path, name, len(data)))
    out.write("};\n")


if __name__ == "__main__":
    if sys.argv[1:] == ["--viewer"]:
        main_viewer()
    else:
        main()
