#!/usr/bin/env python3
"""Makes mutants of real files for tools/mutate-run.sh.

    mutate.py [--seed S] N OUT_DIR FILE...

Writes N mutants of each FILE into OUT_DIR, named <stem>.<tag>.m<k>.<ext> (the
extension kept so that the engine picks the same reader), and prints one
line per mutant: its path and the mutation applied. Mutations:

- generic: bit flips, a run of one byte value, truncation at a random
  point, a chunk duplicated in place;
- structural, where the format is recognised: a length or count field set
  to 0, 1, 0x7FFFFFFF or 0xFFFFFFFF (or the field's own width's maximum),
  chosen among
  PDF: "/Length", "/Count", "/Size", "/N", "/First", "/W", "/Prev",
       "/Index" numbers, object numbers of "N G obj", xref entry offsets,
       "startxref";
  compound files (doc, xls, ppt): header counts and sector numbers, FAT
       entries (also made into a loop), directory entries (sizes, start
       sectors, siblings), and inside the streams the BIFF record headers
       (type, length) of "Workbook"/"Book", the Word FIB's fc/lcb pairs of
       "WordDocument", the PowerPoint record headers of "PowerPoint
       Document";
  PNG chunk lengths and IHDR fields (CRC recomputed), GIF screen and
       image sizes and block lengths, JPEG marker lengths and frame sizes,
       BMP header fields, zip local, central and end records, WMF/EMF record
       sizes.
"""
import os
import random
import re
import struct
import sys
import zlib

VALUES = [0, 1, 0x7FFFFFFF, 0xFFFFFFFF]


def put(buf, off, width, value, big=False):
    """Writes value into a field of width bytes (clipped to its width)."""
    if off < 0 or off + width > len(buf):
        return False
    value &= (1 << (8 * width)) - 1
    buf[off:off + width] = value.to_bytes(width, 'big' if big else 'little')
    return True


def field_value(rng, width):
    v = rng.choice(VALUES + [(1 << (8 * width)) - 1, (1 << (8 * width - 1)) - 1])
    return v


# ---- generic ----

def m_bitflip(rng, buf):
    n = rng.randint(1, 8)
    for _ in range(n):
        i = rng.randrange(len(buf))
        buf[i] ^= 1 << rng.randrange(8)
    return 'bitflip x%d' % n


def m_byterun(rng, buf):
    i = rng.randrange(len(buf))
    n = min(len(buf) - i, rng.choice([4, 16, 64, 256, 4096]))
    v = rng.choice([0, 0xFF, 0x7F, 0x80, rng.randrange(256)])
    buf[i:i + n] = bytes([v]) * n
    return 'byterun @%d len %d = %02x' % (i, n, v)


def m_truncate(rng, buf):
    i = rng.randrange(len(buf))
    del buf[i:]
    return 'truncate @%d' % i


def m_duplicate(rng, buf):
    i = rng.randrange(len(buf))
    n = min(len(buf) - i, rng.choice([8, 64, 512, 4096]))
    j = rng.randrange(len(buf))
    buf[j:j] = buf[i:i + n]
    return 'duplicate %d bytes @%d to @%d' % (n, i, j)


GENERIC = [m_bitflip, m_byterun, m_truncate, m_duplicate]


# ---- PDF ----

def pdf_fields(data):
    # Every repeat is bounded: a long run of digits or blanks (hex image data,
    # a mutant's byte run) would otherwise make the matching quadratic.
    out = []
    for m in re.finditer(rb'/(Length|Count|Size|N|First|Prev|Rotate|Width|Height|'
                         rb'BitsPerComponent|Columns|Colors|Predictor|K|Rows)\s{1,8}(\d{1,12})', data):
        out.append((m.start(2), m.end(2)))
    for m in re.finditer(rb'/(W|Index)\s*\[([\d\s]{1,200})\]', data):
        for n in re.finditer(rb'\d+', m.group(2)):
            out.append((m.start(2) + n.start(), m.start(2) + n.end()))
    for m in re.finditer(rb'(?m)^(\d{1,12}) (\d{1,6}) obj', data):
        out.append((m.start(1), m.end(1)))
    for m in re.finditer(rb'(\d{10}) (\d{5}) [nf]', data):
        out.append((m.start(1), m.end(1)))
    for m in re.finditer(rb'startxref\s{1,8}(\d{1,12})', data):
        out.append((m.start(1), m.end(1)))
    for m in re.finditer(rb'(?<!\d)(\d{1,12}) (\d{1,6}) R', data):
        out.append((m.start(1), m.end(1)))
    return out


def m_pdf(rng, buf):
    fields = pdf_fields(bytes(buf))
    if not fields:
        return None
    s, e = rng.choice(fields)
    v = rng.choice(VALUES + [2, 65535, 99999999999])
    buf[s:e] = str(v).encode()
    return 'pdf field @%d = %d' % (s, v)


# ---- compound files ----

class Cfb:
    def __init__(self, data):
        if data[:8] != b'\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1' or len(data) < 512:
            raise ValueError
        self.data = data
        self.ss = 1 << struct.unpack_from('<H', data, 0x1E)[0]
        if self.ss not in (512, 4096):
            raise ValueError
        nfat = struct.unpack_from('<I', data, 0x2C)[0]
        self.dir0 = struct.unpack_from('<I', data, 0x30)[0]
        self.fat_sectors = [x for x in struct.unpack_from('<109I', data, 0x4C)
                            if x < 0xFFFFFFFA][:nfat]
        self.fat = []
        for s in self.fat_sectors:
            o = self.off(s)
            if o + self.ss <= len(data):
                self.fat += struct.unpack_from('<%dI' % (self.ss // 4), data, o)
        self.dir_offsets = self.chain_offsets(self.dir0)
        self.entries = []
        for o in self.dir_offsets:
            for k in range(self.ss // 128):
                e = o + 128 * k
                if e + 128 > len(data):
                    break
                nlen = struct.unpack_from('<H', data, e + 0x40)[0]
                name = data[e:e + max(0, min(nlen, 64) - 2)].decode('utf-16-le', 'replace')
                self.entries.append((e, name))

    def off(self, sector):
        return (sector + 1) * self.ss

    def chain(self, start):
        out, seen = [], set()
        s = start
        while s < len(self.fat) and s not in seen and len(out) < 100000:
            seen.add(s)
            out.append(s)
            s = self.fat[s]
        return out

    def chain_offsets(self, start):
        return [self.off(s) for s in self.chain(start)]

    def stream_map(self, name):
        """File offsets of a stream's bytes (big-sector streams only)."""
        for e, n in self.entries:
            if n == name:
                size = struct.unpack_from('<I', self.data, e + 0x78)[0]
                if size < 4096:
                    return None
                start = struct.unpack_from('<I', self.data, e + 0x74)[0]
                offs = self.chain_offsets(start)
                return offs, size
        return None


def stream_pos(offs, ss, pos):
    k = pos // ss
    if k >= len(offs):
        return None
    return offs[k] + pos % ss


def read_stream(data, offs, ss, pos, n):
    out = bytearray()
    for i in range(n):
        p = stream_pos(offs, ss, pos + i)
        if p is None or p >= len(data):
            return None
        out.append(data[p])
    return bytes(out)


def put_stream(buf, offs, ss, pos, width, value, big=False):
    raw = (value & ((1 << (8 * width)) - 1)).to_bytes(width, 'big' if big else 'little')
    for i in range(width):
        p = stream_pos(offs, ss, pos + i)
        if p is None or p >= len(buf):
            return False
        buf[p] = raw[i]
    return True


def biff_records(data, offs, ss, size):
    pos, out = 0, []
    while pos + 4 <= size and len(out) < 20000:
        h = read_stream(data, offs, ss, pos, 4)
        if h is None:
            break
        t, n = struct.unpack('<HH', h)
        out.append((pos, t, n))
        pos += 4 + n
    return out


def ppt_records(data, offs, ss, size):
    out, stack = [], [(0, size)]
    while stack and len(out) < 20000:
        pos, end = stack.pop()
        while pos + 8 <= end and len(out) < 20000:
            h = read_stream(data, offs, ss, pos, 8)
            if h is None:
                break
            vi, t, n = struct.unpack('<HHI', h)
            out.append((pos, t, n))
            if vi & 0xF == 0xF and n <= end - pos - 8:
                stack.append((pos + 8, pos + 8 + n))
            pos += 8 + n
    return out


def m_cfb(rng, buf):
    try:
        c = Cfb(bytes(buf))
    except (ValueError, struct.error):
        return None
    kinds = ['header', 'fat', 'fatloop', 'dir']
    for name in ('Workbook', 'Book', 'WordDocument', 'PowerPoint Document'):
        if any(n == name for _, n in c.entries):
            kinds += ['stream'] * 4
    kind = rng.choice(kinds)
    if kind == 'header':
        off, width = rng.choice([(0x1E, 2), (0x20, 2), (0x28, 4), (0x2C, 4), (0x30, 4),
                                 (0x38, 4), (0x3C, 4), (0x40, 4), (0x44, 4), (0x48, 4),
                                 (0x4C + 4 * rng.randrange(4), 4)])
        v = field_value(rng, width)
        put(buf, off, width, v)
        return 'ole header @%#x = %#x' % (off, v)
    if kind in ('fat', 'fatloop') and c.fat:
        i = rng.randrange(min(len(c.fat), len(buf) // c.ss))
        fs = c.fat_sectors[i // (c.ss // 4)]
        off = c.off(fs) + 4 * (i % (c.ss // 4))
        if kind == 'fatloop':
            v = rng.choice([i, max(0, i - rng.randint(1, 8))])
        else:
            v = rng.choice(VALUES + [0xFFFFFFFE, 0xFFFFFFFD, 0xFFFFFFFC, len(c.fat) + 5])
        put(buf, off, 4, v)
        return 'ole fat[%d] = %#x' % (i, v)
    if kind == 'dir' and c.entries:
        e, name = rng.choice(c.entries)
        rel, width = rng.choice([(0x40, 2), (0x42, 1), (0x44, 4), (0x48, 4), (0x4C, 4),
                                 (0x74, 4), (0x78, 4), (0x7C, 4)])
        v = field_value(rng, width)
        if rel in (0x44, 0x48, 0x4C) and rng.random() < 0.3:
            v = rng.randrange(len(c.entries))  # a sibling or child cycle
        put(buf, e + rel, width, v)
        return 'ole dir %r +%#x = %#x' % (name, rel, v)
    if kind == 'stream':
        for name in rng.sample(['Workbook', 'Book', 'WordDocument', 'PowerPoint Document'], 4):
            sm = c.stream_map(name)
            if not sm:
                continue
            offs, size = sm
            data = bytes(buf)
            if name in ('Workbook', 'Book'):
                recs = biff_records(data, offs, c.ss, size)
                if not recs:
                    continue
                pos, t, n = rng.choice(recs)
                what = rng.choice(['len', 'type', 'body2', 'body4'])
                if what == 'len':
                    v = rng.choice([0, 1, 0xFFFF, 8224, n + 1, max(0, n - 1)])
                    put_stream(buf, offs, c.ss, pos + 2, 2, v)
                elif what == 'type':
                    v = rng.choice([0, 0xFFFF, 0x003C, 0x00FC, 0x0809, 0x000A, 0x00E5])
                    put_stream(buf, offs, c.ss, pos, 2, v)
                else:
                    w = 2 if what == 'body2' else 4
                    k = rng.randrange(max(1, min(n, 16) - w + 1))
                    v = field_value(rng, w)
                    put_stream(buf, offs, c.ss, pos + 4 + k, w, v)
                return 'biff record %#x @%d %s = %#x' % (t, pos, what, v)
            if name == 'WordDocument':
                # FibRgFcLcb97 pairs start at 154 (fc, lcb, 4 bytes each).
                k = rng.randrange(93)
                pos = 154 + 8 * k + rng.choice([0, 4])
                v = field_value(rng, 4)
                if rng.random() < 0.3:
                    pos, v = rng.choice([(0x18, v), (0x1C, v), (0x4C, v), (0x0A, rng.randrange(1 << 16))])
                put_stream(buf, offs, c.ss, pos, 4 if pos != 0x0A else 2, v)
                return 'word fib @%d = %#x' % (pos, v)
            recs = ppt_records(data, offs, c.ss, size)
            if not recs:
                continue
            pos, t, n = rng.choice(recs)
            what = rng.choice(['len', 'type', 'body'])
            if what == 'len':
                v = field_value(rng, 4)
                put_stream(buf, offs, c.ss, pos + 4, 4, v)
            elif what == 'type':
                v = rng.choice([0, 0xFFFF, 0x0FA0, 0x0FA8, 0x03EE, 0x0FF0, 0xF000, 0xF004])
                put_stream(buf, offs, c.ss, pos + 2, 2, v)
            else:
                v = field_value(rng, 4)
                put_stream(buf, offs, c.ss, pos + 8 + rng.randrange(max(1, min(n, 16) - 3)), 4, v)
            return 'ppt record %#x @%d %s = %#x' % (t, pos, what, v)
    return None


# ---- pictures, archives, metafiles ----

def png_chunks(data):
    pos, out = 8, []
    while pos + 12 <= len(data):
        n = struct.unpack_from('>I', data, pos)[0]
        out.append((pos, data[pos + 4:pos + 8], n))
        if n > len(data):
            break
        pos += 12 + n
    return out


def m_png(rng, buf):
    if buf[:8] != b'\x89PNG\r\n\x1a\n':
        return None
    chunks = png_chunks(bytes(buf))
    if not chunks:
        return None
    pos, typ, n = rng.choice(chunks)
    if typ == b'IHDR' and rng.random() < 0.7:
        rel, width = rng.choice([(0, 4), (4, 4), (8, 1), (9, 1), (10, 1), (11, 1), (12, 1)])
        v = rng.choice([0, 1, 65535, 0x7FFFFFFF, 0xFFFFFFFF, 3, 16]) if width == 4 else \
            rng.choice([0, 1, 2, 3, 4, 6, 8, 16, 255])
        put(buf, pos + 8 + rel, width, v, big=True)
        crc = zlib.crc32(bytes(buf[pos + 4:pos + 8 + n]))
        put(buf, pos + 8 + n, 4, crc, big=True)
        return 'png IHDR +%d = %#x' % (rel, v)
    v = field_value(rng, 4)
    put(buf, pos, 4, v, big=True)
    return 'png chunk %s length = %#x' % (typ.decode('latin-1'), v)


def m_gif(rng, buf):
    if buf[:3] != b'GIF':
        return None
    data = bytes(buf)
    choices = [(6, 'screen w'), (8, 'screen h')]
    for m in re.finditer(rb'\x2c', data[13:]):
        p = 13 + m.start()
        if p + 9 <= len(data):
            choices += [(p + 5, 'image w'), (p + 7, 'image h'), (p + 1, 'image x'), (p + 3, 'image y')]
        if len(choices) > 40:
            break
    if rng.random() < 0.3:
        # A data sub-block length or the LZW code size.
        p = rng.randrange(13, max(14, len(buf)))
        v = rng.choice([0, 1, 12, 255])
        put(buf, p, 1, v)
        return 'gif byte @%d = %d' % (p, v)
    off, what = rng.choice(choices)
    v = rng.choice([0, 1, 65535, 32767])
    put(buf, off, 2, v)
    return 'gif %s = %d' % (what, v)


def m_jpeg(rng, buf):
    if buf[:2] != b'\xff\xd8':
        return None
    data = bytes(buf)
    marks, pos = [], 2
    while pos + 4 <= len(data) and len(marks) < 64:
        if data[pos] != 0xFF:
            break
        mk = data[pos + 1]
        n = struct.unpack_from('>H', data, pos + 2)[0]
        marks.append((pos, mk, n))
        if mk == 0xDA:
            break
        pos += 2 + n
    if not marks:
        return None
    pos, mk, n = rng.choice(marks)
    if mk in (0xC0, 0xC1, 0xC2) and rng.random() < 0.7:
        rel, width = rng.choice([(5, 2), (7, 2), (4, 1), (9, 1), (11, 1), (12, 1)])
        v = rng.choice([0, 1, 65535, 255, 4]) if width == 2 else rng.choice([0, 1, 4, 16, 255])
        put(buf, pos + 2 + rel - 2, width, v, big=True)
        return 'jpeg SOF%d +%d = %d' % (mk - 0xC0, rel, v)
    v = rng.choice([0, 1, 2, 65535])
    put(buf, pos + 2, 2, v, big=True)
    return 'jpeg marker %02x length = %d' % (mk, v)


def m_bmp(rng, buf):
    if buf[:2] != b'BM' or len(buf) < 54:
        return None
    off, width = rng.choice([(2, 4), (10, 4), (14, 4), (18, 4), (22, 4), (26, 2), (28, 2),
                             (30, 4), (34, 4), (46, 4), (50, 4)])
    v = field_value(rng, width)
    if off == 28:
        v = rng.choice([0, 1, 2, 4, 8, 16, 24, 32, 64, 0xFFFF])
    put(buf, off, width, v)
    return 'bmp header @%d = %#x' % (off, v)


def m_zip(rng, buf):
    data = bytes(buf)
    fields = []
    for m in re.finditer(rb'PK\x03\x04', data):
        p = m.start()
        fields += [(p + 8, 2), (p + 18, 4), (p + 22, 4), (p + 26, 2), (p + 28, 2)]
    for m in re.finditer(rb'PK\x01\x02', data):
        p = m.start()
        fields += [(p + 10, 2), (p + 20, 4), (p + 24, 4), (p + 28, 2), (p + 30, 2),
                   (p + 32, 2), (p + 42, 4)]
    for m in re.finditer(rb'PK\x05\x06', data):
        p = m.start()
        fields += [(p + 8, 2), (p + 10, 2), (p + 12, 4), (p + 16, 4), (p + 20, 2)]
    if not fields:
        return None
    off, width = rng.choice(fields)
    v = field_value(rng, width)
    put(buf, off, width, v)
    return 'zip field @%d = %#x' % (off, v)


def m_wmf_emf(rng, buf):
    data = bytes(buf)
    if data[:4] == b'\x01\x00\x00\x00' and data[40:44] == b' EMF':
        pos, recs = 0, []
        while pos + 8 <= len(data) and len(recs) < 5000:
            t, n = struct.unpack_from('<II', data, pos)
            recs.append(pos)
            if n < 8:
                break
            pos += n
        p = rng.choice(recs)
        rel = rng.choice([4, 8, 12, 16])
        v = field_value(rng, 4)
        put(buf, p + rel, 4, v)
        return 'emf record @%d +%d = %#x' % (p, rel, v)
    start = 22 if data[:4] == b'\xd7\xcd\xc6\x9a' else 0
    if len(data) < start + 18:
        return None
    hsize = struct.unpack_from('<H', data, start + 2)[0] * 2
    pos, recs = start + hsize, []
    while pos + 6 <= len(data) and len(recs) < 5000:
        n = struct.unpack_from('<I', data, pos)[0]
        recs.append(pos)
        if n < 3:
            break
        pos += 2 * n
    if not recs:
        return None
    p = rng.choice(recs)
    rel, width = rng.choice([(0, 4), (6, 2), (8, 2), (10, 2)])
    v = field_value(rng, width)
    put(buf, p + rel, width, v)
    return 'wmf record @%d +%d = %#x' % (p, rel, v)


STRUCTURED = [m_pdf, m_cfb, m_png, m_gif, m_jpeg, m_bmp, m_zip]


def structured_for(name, data):
    ext = name.lower().rsplit('.', 1)[-1]
    if ext in ('wmf', 'emf'):
        return [m_wmf_emf]
    if data[:5] == b'%PDF-' or b'%PDF-' in data[:1024]:
        return [m_pdf]
    if data[:4] == b'PK\x03\x04':
        return [m_zip]
    return STRUCTURED


def mutate(rng, name, data):
    buf = bytearray(data)
    notes = []
    structured = structured_for(name, data)
    for _ in range(rng.choice([1, 1, 1, 2, 3])):
        if not buf:
            break
        note = None
        if rng.random() < 0.6:
            for f in structured:
                note = f(rng, buf)
                if note:
                    break
        if not note:
            note = rng.choice(GENERIC)(rng, buf)
        notes.append(note)
    return bytes(buf), '; '.join(notes)


def main(argv):
    seed = None
    if len(argv) > 2 and argv[1] == '--seed':
        seed = int(argv[2])
        argv = argv[:1] + argv[3:]
    if len(argv) < 4:
        sys.stderr.write(__doc__)
        return 2
    count, out = int(argv[1]), argv[2]
    os.makedirs(out, exist_ok=True)
    for path in argv[3:]:
        with open(path, 'rb') as f:
            data = f.read()
        if not data:
            continue
        base = os.path.basename(path)
        stem, dot, ext = base.rpartition('.')
        if not dot:
            stem, ext = base, ''
        tag = '%04x' % (zlib.crc32(os.path.abspath(path).encode()) & 0xFFFF)
        rng = random.Random('%s:%s' % (seed, base) if seed is not None else None)
        for k in range(count):
            mutant, note = mutate(rng, base, data)
            name = '%s.%s.m%d%s' % (stem, tag, k, '.' + ext if ext else '')
            target = os.path.join(out, name)
            with open(target, 'wb') as f:
                f.write(mutant)
            print('%s\t%s' % (target, note))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
