#!/usr/bin/python3
"""Writes the seed corpora of the PostScript token reader (corpus/pslexer),
the CMap readers (corpus/cmap) and embedded TrueType programs
(corpus/embedded_truetype) from the committed fixtures: the text CMaps of
tests/fixtures/cmaps, binary CMaps taken from fonts/builtin, small made-up
files and the TrueType fixtures.
Run from the repository root: tests/fuzz/make_cmap_corpus.py
"""
import os
import re
import struct
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CORPUS = os.path.join(ROOT, "tests", "fuzz", "corpus")


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def fixture(*path):
    with open(os.path.join(ROOT, "tests", "fixtures", *path), "rb") as f:
        return f.read()


def builtin(name):
    """The bytes of a built-in file from the generated data sources."""
    for src in os.listdir(os.path.join(ROOT, "fonts", "builtin")):
        if not src.startswith("cmaps_"):
            continue
        text = open(os.path.join(ROOT, "fonts", "builtin", src)).read()
        m = re.search(r'\{"/okala_dir/Fonts/bincmaps/%s", (cmap\d+), \d+\}' % re.escape(name), text)
        if m:
            body = re.search(r"const uint8_t %s\[\d+\] = \{(.*?)\};" % m.group(1), text, re.S).group(1)
            return bytes(int(x, 16) for x in re.findall(r"0x([0-9a-f]{2})", body))
    raise KeyError(name)


def main():
    lexer = [
        b"(a(b)c) (a\\101) <48 65 6c 6> /Name[1 2] 12abc 007",
        b"<< /A {x} >> % comment\r\n-1 3.5 (\\n\\r\\t\\b\\f\\\\)",
        b"<41 4g>", b"(open", b")",
    ]
    for i, data in enumerate(lexer):
        write("pslexer", "tokens_%02d" % i, data)
    write("pslexer", "cmap_00", fixture("cmaps", "EUC-H"))

    text = fixture("cmaps", "90ms-RKSJ-V")
    write("cmap", "text_00", b"\x00\x04" + fixture("cmaps", "EUC-H") + b"\xb0\xa1\x41\x42")
    write("cmap", "text_01", b"\x00\x00" + text)
    write("cmap", "text_02", b"\x00\x03" + b"begincmap /Ordering (X) 1 begincidrange <814000> <8140FF> 100 "
          b"endcidrange endcmap" + b"\x81\x40\x05")
    tounicode = (b"begincmap 2 beginbfchar <0005> <0000> <0006> <20AC> endbfchar\n"
                 b"1 beginbfrange <0010> <0012> [<0061> <0062>] endbfrange endcmap")
    write("cmap", "tounicode_00", b"\x01\x04" + tounicode + b"\x00\x05\x00\x11")
    write("cmap", "binary_00", b"\x02\x04" + builtin("90ms-rksj-h.dat") + b"\x93\xfa\x41\x42")
    write("cmap", "binary_01", b"\x02\x02" + builtin("unijis-ucs2-hw-h.dat") + b"\x00\x41")
    plain = (b"BINCMAP1X\x00\x00" + struct.pack(">HB", 1, 0x83) + struct.pack(">H", 100) +
             b"\x81\x40\x00\x81\x40\xff" + b"\x00\x00")
    write("cmap", "binary_02", b"\x02\x03" + plain + b"\x81\x40\x05")
    delta = b"BINCMAP3X\x00\x00" + zlib.compress(b"\x00\x02\x01\x00\x0a\x05\x00\x00\x00\x00\x00")
    write("cmap", "binary_03", b"\x02\x02" + delta + b"\x05\x06")
    write("cmap", "unicode_00", b"\x03\x00" + b"BINCMAP0\x00\x03\x00\x20\x30\x00\x00\x41")
    table = builtin("adobe-japan1-ucs2.dat")
    write("cmap", "unicode_01", b"\x03\x00" + table[:10] + zlib.compress(zlib.decompress(table[10:])[:400]))

    for i, name in enumerate(["tt-symbol.ttf", "tt-macwin.ttf", "tt-kern.ttf"]):
        write("embedded_truetype", "font_%02d" % i, bytes([0x10 if i == 0 else 0]) + fixture("fonts", name))


if __name__ == "__main__":
    main()
