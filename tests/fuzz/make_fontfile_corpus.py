#!/usr/bin/python3
"""Writes the seed corpora of the font map, 'name' table and collection
header fuzz targets (corpus/fontmap/, corpus/fontnames/,
corpus/fontcollection/): the built-in font map and a few odd maps, the
'name' tables of two installed fonts and a hand-made one, and small
collection headers.
"""
import os
import struct
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "../../tools/gen"))
import gen_romfs  # noqa: E402


def write(target, name, data):
    folder = os.path.join(here, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


write("fontmap", "builtin", gen_romfs.make_map())
write("fontmap", "odd", b"[library]\r\nA,,,,,x.ttf\r\n" + b"x" * 300 + b"\n[Nothing]\nz\n"
      b"[Defaults]\nnocolon\nk: v \n[Buffered]\nlast")


def name_table(records):
    strings, recs = b"", b""
    for platform, encoding, language, name_id, text in records:
        s = text.encode("utf-16-be")
        recs += struct.pack(">6H", platform, encoding, language, name_id, len(s), len(strings))
        strings += s
    return struct.pack(">3H", 0, len(records), 6 + 12 * len(records)) + recs + strings


write("fontnames", "made", name_table([(3, 1, 0x409, 1, "Family"), (3, 1, 0x409, 2, "Bold Italic"),
                                       (3, 1, 0x409, 4, " Full: Name"), (1, 0, 0, 1, "Mac"),
                                       (3, 1, 0x409, 6, "\U0001F600x")]))
try:
    from fontTools.ttLib import TTFont
    for name, path in (("dejavu", "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"),
                       ("liberation", "/usr/share/fonts/truetype/liberation2/LiberationSans-Italic.ttf")):
        font = TTFont(path)
        write("fontnames", name, font.getTableData("name"))
except ImportError:
    pass

write("fontcollection", "two", struct.pack(">4sIIII", b"ttcf", 0x10000, 2, 32, 4000))
write("fontcollection", "none", struct.pack(">4sII", b"ttcf", 0x10000, 0))
write("fontcollection", "short", struct.pack(">4sIII", b"ttcf", 0x20000, 3, 12))
