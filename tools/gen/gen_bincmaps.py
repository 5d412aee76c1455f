#!/usr/bin/python3
"""Makes the built-in binary CMaps of the four CJK collections.

Writes fonts/builtin/cmaps_<collection>_data.cpp for Japan1, Korea1, GB1
and CNS1 from Debian's poppler-data (/usr/share/poppler):

  - each text CMap (cMap/Adobe-<collection>/<name>) becomes
    "<name in lower case>.dat", a "BINCMAP3" file;
  - the collection's CID-to-Unicode table (cidToUnicode/Adobe-<collection>)
    becomes "adobe-<collection in lower case>-ucs2.dat", a "BINCMAP2" file;
    code points above U+FFFF are stored as 0 (unmapped).

After writing a file the tool decodes it again, the way the engine's CMap
reader does, and compares the result with the source; any difference stops
it. It also checks that every usecmap parent is among the collection's
files.

"BINCMAP3" (numbers big-endian)
-------------------------------
  "BINCMAP3", the Ordering (NUL-terminated, at most 31 characters), the
  usecmap name (NUL-terminated, empty for none), then a zlib stream of
  blocks. A block: count (16 bits; 0 ends the file), a flags byte (bits
  0-2 the code length n in bytes, bit 7 range records), then count
  records: a single code is {CID, code}, a range {CID, low, high}; CIDs
  are 16 bits, codes n bytes. Each block holds the records of one
  begincidchar or begincidrange section of the source, in source order
  (a section longer than 65535 records is split).
  For n of 1 or 2 the values are differences; per block the decoder keeps
  a next code and a next CID, both 0 at the block start:
    single: code = stored + next code, CID = stored + next CID; then
            next code = code + 1, next CID = CID + 1;
    range:  low = stored + next code, high = stored high + low + 1,
            CID = stored + next CID; then next code = high + 1 and
            next CID = CID + (high - low).
  Codes are taken modulo 2^(8n), CIDs modulo 2^16. Longer codes are
  stored as they are.

"BINCMAP2"
----------
  "BINCMAP2", the entry count n (16 bits), then a zlib stream of n 16-bit
  values: entry 0 = value 0, entry i = value i + entry i-1 + 1 (modulo
  2^16). Entry i is the Unicode code point of CID i (0: none).

The generated files are committed; building never needs this script or
its packages. Run it again after changing it:
  apt-get install poppler-data python3
  tools/gen/gen_bincmaps.py fonts/builtin
"""

import os
import re
import struct
import sys
import zlib

POPPLER = "/usr/share/poppler"

COLLECTIONS = [
    ("japan", "Japan1", "Builtin_japanCmaps", [
        "h.dat", "add-rksj-h.dat", "add-rksj-v.dat", "ext-rksj-h.dat", "unijis-ucs2-hw-h.dat",
        "euc-h.dat", "v.dat", "euc-v.dat", "90msp-rksj-v.dat", "90pv-rksj-h.dat",
        "unijis-ucs2-hw-v.dat", "adobe-japan1-h-host.dat", "ext-rksj-v.dat", "90msp-rksj-h.dat",
        "90ms-rksj-h.dat", "90ms-rksj-v.dat", "adobe-japan1-h-cid.dat", "83pv-rksj-h.dat",
        "adobe-japan1-h-mac.dat", "unijis-ucs2-v.dat", "unijis-ucs2-h.dat",
        "adobe-japan1-ucs2.dat"]),
    ("korean", "Korea1", "Builtin_koreanCmaps", [
        "kscms-uhc-v.dat", "ksc-euc-v.dat", "adobe-korea1-h-cid.dat", "uniks-ucs2-h.dat",
        "adobe-korea1-h-mac.dat", "kscms-uhc-h.dat", "ksc-euc-h.dat", "adobe-korea1-h-host.dat",
        "kscpc-euc-h.dat", "adobe-korea1-ucs2.dat", "uniks-ucs2-v.dat", "kscms-uhc-hw-v.dat",
        "kscms-uhc-hw-h.dat"]),
    ("gb", "GB1", "Builtin_simplifiedChineseCmaps", [
        "gbpc-euc-h.dat", "gb-euc-h.dat", "gbt-euc-h.dat", "unigb-ucs2-v.dat",
        "adobe-gb1-h-host.dat", "gbk2k-h.dat", "unigb-ucs2-h.dat", "gbkp-euc-v.dat",
        "gbpc-euc-v.dat", "adobe-gb1-ucs2.dat", "adobe-gb1-h-cid.dat", "gbk-euc-h.dat",
        "gbk-euc-v.dat", "adobe-gb1-h-mac.dat", "gbk2k-v.dat", "gb-euc-v.dat", "gbt-euc-v.dat",
        "gbkp-euc-h.dat"]),
    ("cns", "CNS1", "Builtin_traditionalChineseCmaps", [
        "eten-b5-v.dat", "hkm471-b5-h.dat", "hkm471-b5-v.dat", "etenms-b5-h.dat",
        "adobe-cns1-h-mac.dat", "hkdlb-b5-v.dat", "hkm314-b5-v.dat", "hkdlb-b5-h.dat",
        "unicns-ucs2-v.dat", "hkgccs-b5-h.dat", "adobe-cns1-ucs2.dat", "ethk-b5-h.dat",
        "ethk-b5-v.dat", "adobe-cns1-h-cid.dat", "b5pc-v.dat", "hkdla-b5-h.dat",
        "hkdla-b5-v.dat", "unicns-ucs2-h.dat", "adobe-cns1-h-host.dat", "cns-euc-v.dat",
        "hkscs-b5-v.dat", "eten-b5-h.dat", "b5pc-h.dat", "hkscs-b5-h.dat", "hkm314-b5-h.dat",
        "etenms-b5-v.dat", "cns-euc-h.dat", "hkgccs-b5-v.dat"]),
]

TOKEN = re.compile(rb"%[^\n]*|<[0-9A-Fa-f\s]*>|\((?:[^()\\]|\\.)*\)|/[^\s/\[\]<>(){}%]*|"
                   rb"[\[\]{}]|<<|>>|[^\s/\[\]<>(){}%]+")


def tokens(text):
    for m in TOKEN.finditer(text):
        t = m.group(0)
        if not t.startswith(b"%"):
            yield t


def hex_code(tok):
    assert tok.startswith(b"<") and tok.endswith(b">"), tok
    return bytes.fromhex(re.sub(rb"\s", b"", tok[1:-1]).decode())


def parse_text_cmap(text):
    """Ordering, usecmap name and the sections: (is_range, [(n, low, high, cid)])."""
    toks = list(tokens(text))
    ordering, usecmap, sections = None, "", []
    i = toks.index(b"begincmap")
    while i < len(toks):
        t = toks[i]
        if t == b"/Ordering":
            s = toks[i + 1]
            assert s.startswith(b"(") and len(s) - 2 <= 31, s
            ordering = s[1:-1].decode()
        elif t == b"usecmap":
            assert toks[i - 1].startswith(b"/")
            usecmap = toks[i - 1][1:].decode()
        elif t in (b"begincidchar", b"begincidrange"):
            is_range = t == b"begincidrange"
            end = b"endcidrange" if is_range else b"endcidchar"
            recs = []
            i += 1
            while toks[i] != end:
                if is_range:
                    low, high, cid = hex_code(toks[i]), hex_code(toks[i + 1]), int(toks[i + 2])
                    i += 3
                else:
                    low, cid = hex_code(toks[i]), int(toks[i + 1])
                    high = low
                    i += 2
                assert len(low) == len(high) and 1 <= len(low) <= 6 and 0 <= cid < 65536
                recs.append((len(low), int.from_bytes(low, "big"), int.from_bytes(high, "big"), cid))
            sections.append((is_range, recs))
        elif t == b"endcmap":
            break
        i += 1
    assert ordering is not None
    return ordering, usecmap, sections


def encode_bincmap3(ordering, usecmap, sections):
    body = b""
    for is_range, recs in sections:
        for start in range(0, len(recs), 65535):
            chunk = recs[start:start + 65535]
            n = chunk[0][0]
            # One code length per block: split where it changes.
            runs, cur = [], []
            for r in chunk:
                if cur and r[0] != cur[0][0]:
                    runs.append(cur)
                    cur = []
                cur.append(r)
            runs.append(cur)
            for run in runs:
                n = run[0][0]
                body += struct.pack(">HB", len(run), n | (0x80 if is_range else 0))
                cmod, next_code, next_cid = 1 << (8 * n), 0, 0
                for _, low, high, cid in run:
                    if n > 2:
                        body += struct.pack(">H", cid) + low.to_bytes(n, "big")
                        if is_range:
                            body += high.to_bytes(n, "big")
                        continue
                    body += struct.pack(">H", (cid - next_cid) & 0xFFFF)
                    body += ((low - next_code) % cmod).to_bytes(n, "big")
                    if is_range:
                        body += ((high - low - 1) % cmod).to_bytes(n, "big")
                        next_code = (high + 1) % cmod
                        next_cid = (cid + high - low) & 0xFFFF
                    else:
                        next_code = (low + 1) % cmod
                        next_cid = (cid + 1) & 0xFFFF
    body += b"\0\0"
    return (b"BINCMAP3" + ordering.encode() + b"\0" + usecmap.encode() + b"\0" +
            zlib.compress(body, 9))


def decode_bincmap3(data):
    assert data[:8] == b"BINCMAP3"
    p = data.index(b"\0", 8)
    ordering = data[8:p].decode()
    q = data.index(b"\0", p + 1)
    usecmap = data[p + 1:q].decode()
    body = zlib.decompress(data[q + 1:])
    sections, at = [], 0
    while True:
        (count,) = struct.unpack_from(">H", body, at)
        at += 2
        if count == 0:
            break
        flags = body[at]
        at += 1
        n, is_range = flags & 7, bool(flags & 0x80)
        cmod, next_code, next_cid, recs = 1 << (8 * n), 0, 0, []
        for _ in range(count):
            (cid,) = struct.unpack_from(">H", body, at)
            at += 2
            low = int.from_bytes(body[at:at + n], "big")
            at += n
            high = low
            if is_range:
                high = int.from_bytes(body[at:at + n], "big")
                at += n
            if n <= 2:
                low = (low + next_code) % cmod
                cid = (cid + next_cid) & 0xFFFF
                if is_range:
                    high = (high + low + 1) % cmod
                    next_code = (high + 1) % cmod
                    next_cid = (cid + high - low) & 0xFFFF
                else:
                    high = low
                    next_code = (low + 1) % cmod
                    next_cid = (cid + 1) & 0xFFFF
            recs.append((n, low, high, cid))
        sections.append((is_range, recs))
    assert at == len(body)
    return ordering, usecmap, sections


def records(sections):
    return [r for _, recs in sections for r in recs]


def read_cid_to_unicode(path):
    table = []
    with open(path) as f:
        for line in f:
            v = int(line.strip(), 16)
            table.append(v if v <= 0xFFFF else 0)
    assert len(table) <= 65535
    return table


def encode_bincmap2(table):
    values, prev = [], None
    for e in table:
        values.append(e if prev is None else (e - prev - 1) & 0xFFFF)
        prev = e
    return (b"BINCMAP2" + struct.pack(">H", len(table)) +
            zlib.compress(struct.pack(">%dH" % len(values), *values), 9))


def decode_bincmap2(data):
    assert data[:8] == b"BINCMAP2"
    (n,) = struct.unpack_from(">H", data, 8)
    raw = zlib.decompress(data[10:])
    assert len(raw) == 2 * n
    out, prev = [], None
    for (v,) in struct.iter_unpack(">H", raw):
        prev = v if prev is None else (v + prev + 1) & 0xFFFF
        out.append(prev)
    return out


def c_array(name, data):
    lines = ["const uint8_t %s[%d] = {" % (name, len(data))]
    for i in range(0, len(data), 16):
        lines.append("    " + " ".join("0x%02x," % b for b in data[i:i + 16]))
    lines.append("};")
    return "\n".join(lines)


def make_collection(key, collection, table_name, files):
    folder = os.path.join(POPPLER, "cMap", "Adobe-" + collection)
    by_lower = {name.lower(): name for name in os.listdir(folder)}
    unicode_file = "adobe-%s-ucs2.dat" % collection.lower()
    out = []
    parents = set()
    for file in files:
        if file == unicode_file:
            source = read_cid_to_unicode(os.path.join(POPPLER, "cidToUnicode", "Adobe-" + collection))
            data = encode_bincmap2(source)
            assert decode_bincmap2(data) == source, file
        else:
            name = by_lower[file[:-4]]
            with open(os.path.join(folder, name), "rb") as f:
                ordering, usecmap, sections = parse_text_cmap(f.read())
            data = encode_bincmap3(ordering, usecmap, sections)
            d_ordering, d_usecmap, d_sections = decode_bincmap3(data)
            assert (d_ordering, d_usecmap) == (ordering, usecmap), file
            assert records(d_sections) == records(sections), file
            if usecmap:
                parents.add((file, usecmap.lower() + ".dat"))
        out.append((file, data))
    for file, parent in sorted(parents):
        assert parent in files, "%s uses %s, which is not built in" % (file, parent)
    return out


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "fonts/builtin"
    for key, collection, table_name, files in COLLECTIONS:
        made = make_collection(key, collection, table_name, files)
        path = os.path.join(folder, "cmaps_%s_data.cpp" % key)
        total = sum(len(d) for _, d in made)
        sys.stderr.write("%s: %d files, %d bytes\n" % (path, len(made), total))
        with open(path, "w") as out:
            out.write("// The binary CMaps of the %s collection. Generated by\n" % collection)
            out.write("// tools/gen/gen_bincmaps.py from poppler-data (see there for the formats);\n")
            out.write("// do not edit.\n")
            out.write('#include "fonts/builtin/builtin.h"\n\nnamespace {\n\n')
            for i, (file, data) in enumerate(made):
                out.write(c_array("cmap%d" % i, data) + "\n\n")
            out.write("} // namespace\n\nconst RomFsEntry %s[%d] = {\n" % (table_name, len(made)))
            for i, (file, data) in enumerate(made):
                out.write('    {"/okala_dir/Fonts/bincmaps/%s", cmap%d, %d},\n' % (file, i, len(data)))
            out.write("};\n")


if __name__ == "__main__":
    main()
