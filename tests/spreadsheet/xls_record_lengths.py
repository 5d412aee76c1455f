#!/usr/bin/python3
"""Parses every record of a saved workbook stream against its own length.

Usage: xls_record_lengths.py SAVED...   (or imported: check(data, recs))

The records must tile the stream. Each record kind below is parsed field
by field, and what its fields declare must be exactly what its body holds:

- FORMULA, SHRFMLA, ARRAY, NAME: the token stream is walked token by token
  and must end exactly at the declared token length; the extra data after
  it (array constants, area lists) must be exactly what the tokens ask for.
- STRING follows exactly the FORMULA records whose result is text, and its
  characters fill its body.
- Chart records: Series, SIIndex, SeriesText, BRAI (its tokens walked too),
  and the LABEL, NUMBER and BLANK value caches.
- NOTE, OBJ (its sub-records up to ftEnd), TXO with its text and run
  CONTINUE records.
- The drawing: the MSODRAWINGGROUP and each substream's MSODRAWING bytes
  (with their CONTINUE records) joined, every OfficeArt container's length
  exactly the records inside it.
Exit status 1 on any failure."""
import struct
import sys

FORMULA, SHRFMLA, ARRAY, TABLE, STRING, NAME = 0x0006, 0x04BC, 0x0221, 0x0236, 0x0207, 0x0018
CONTINUE = 0x003C
FIXED = {  # records of one fixed body length
    0x0201: 6, 0x0203: 14, 0x027E: 10, 0x00FD: 10, 0x0205: 8, 0x1003: 12, 0x1065: 2, 0x0236: 16,
    0x000A: 0, 0x00D7: None,
}
# Bytes of each operand or operator token (base ids; the classed ids 0x20
# to 0x7F map to 0x20 | (id & 0x1F)); None: variable, walked apart.
PTG_SIZE = {
    0x01: 5, 0x02: 5, 0x03: 1, 0x04: 1, 0x05: 1, 0x06: 1, 0x07: 1, 0x08: 1, 0x09: 1, 0x0A: 1, 0x0B: 1,
    0x0C: 1, 0x0D: 1, 0x0E: 1, 0x0F: 1, 0x10: 1, 0x11: 1, 0x12: 1, 0x13: 1, 0x14: 1, 0x15: 1, 0x16: 1,
    0x17: None, 0x19: None, 0x1C: 2, 0x1D: 2, 0x1E: 3, 0x1F: 9,
    0x20: 8, 0x21: 3, 0x22: 4, 0x23: 5, 0x24: 5, 0x25: 9, 0x26: 7, 0x27: 7, 0x28: 7, 0x29: 3,
    0x2A: 5, 0x2B: 9, 0x2C: 5, 0x2D: 9, 0x39: 7, 0x3A: 7, 0x3B: 11, 0x3C: 7, 0x3D: 11,
}


class Checker:
    def __init__(self):
        self.failures = []

    def fail(self, text):
        self.failures.append(text)

    # ------------------------------------------------------------ tokens

    def walk_tokens(self, where, rgce):
        """Walks the tokens; returns the kinds of extra data they need
        ('array' for ptgArray, 'mem' for the ptgMem* area lists), or None
        when the stream does not end at its declared length."""
        at, extra = 0, []
        while at < len(rgce):
            ptg = rgce[at]
            base = ptg if ptg < 0x20 else 0x20 | (ptg & 0x1F)
            if base not in PTG_SIZE:
                self.fail('%s: unknown token 0x%02X at %d of %d' % (where, ptg, at, len(rgce)))
                return None
            size = PTG_SIZE[base]
            if base == 0x17:  # ptgStr: u8 count, flags, characters
                if at + 3 > len(rgce):
                    size = 3
                else:
                    size = 3 + rgce[at + 1] * (2 if rgce[at + 2] & 1 else 1)
            elif base == 0x19:  # ptgAttr: a choose has its jump table
                if at + 4 > len(rgce):
                    size = 4
                else:
                    size = 4 + (2 * (struct.unpack_from('<H', rgce, at + 2)[0] + 1) if rgce[at + 1] & 0x04 else 0)
            if at + size > len(rgce):
                self.fail('%s: token 0x%02X at %d needs %d bytes, the declared tokens end at %d' %
                          (where, ptg, at, size, len(rgce)))
                return None
            if base == 0x20:
                extra.append('array')
            elif base in (0x26,):
                extra.append('mem')
            at += size
        return extra

    def extra_length(self, where, extra, rgcb):
        """The bytes the extra data of the tokens takes in rgcb; None when
        it does not fit."""
        at = 0
        for kind in extra:
            if kind == 'mem':
                if at + 2 > len(rgcb):
                    return None
                at += 2 + 8 * struct.unpack_from('<H', rgcb, at)[0]
                continue
            if at + 3 > len(rgcb):
                return None
            cols, rows = rgcb[at] + 1, struct.unpack_from('<H', rgcb, at + 1)[0] + 1
            at += 3
            for _ in range(cols * rows):
                if at >= len(rgcb):
                    return None
                kind_byte = rgcb[at]
                if kind_byte == 0x02:
                    if at + 4 > len(rgcb):
                        return None
                    cch, flags = struct.unpack_from('<HB', rgcb, at + 1)
                    at += 4 + cch * (2 if flags & 1 else 1)
                elif kind_byte in (0x00, 0x01, 0x04, 0x10):
                    at += 9
                else:
                    self.fail('%s: array constant of kind 0x%02X' % (where, kind_byte))
                    return None
            if at > len(rgcb):
                return None
        return at

    def formula(self, where, body, head, cce_at):
        """A formula body: head bytes, u16 token length at cce_at, the
        tokens, then the extra data to the end of the body."""
        if len(body) < head:
            self.fail('%s: %d bytes, shorter than its %d-byte head' % (where, len(body), head))
            return
        cce = struct.unpack_from('<H', body, cce_at)[0]
        if head + cce > len(body):
            self.fail('%s: declares %d token bytes, holds %d' % (where, cce, len(body) - head))
            return
        extra = self.walk_tokens(where, body[head:head + cce])
        if extra is None:
            return
        rgcb = body[head + cce:]
        need = self.extra_length(where, extra, rgcb)
        if need is None or need != len(rgcb):
            self.fail('%s: %d bytes after the tokens, their array and area data take %s' %
                      (where, len(rgcb), need))

    # ------------------------------------------------------------ strings

    def string_fill(self, where, body, at, count):
        """A string of count characters with its flags byte at body[at]
        must fill the body exactly."""
        if at >= len(body) and count:
            self.fail('%s: no flags byte for %d characters' % (where, count))
            return
        flags = body[at] if at < len(body) else 0
        size = 1 + count * (2 if flags & 1 else 1)
        if flags & 0x08 or flags & 0x04:
            self.fail('%s: a rich or extended string where a plain one belongs' % where)
        elif at + size != len(body):
            self.fail('%s: %d characters take %d bytes, the body holds %d' % (where, count, size, len(body) - at))

    # ------------------------------------------------------------ drawings

    def officeart(self, where, data):
        def walk(at, end, depth):
            while at < end:
                if at + 8 > end:
                    self.fail('%s: an OfficeArt header cut at %d of %d' % (where, at, end))
                    return
                verinst, rtype, length = struct.unpack_from('<HHI', data, at)
                body_end = at + 8 + length
                if body_end > end:
                    self.fail('%s: OfficeArt record 0x%04X at %d declares %d bytes, %d remain' %
                              (where, rtype, at, length, end - at - 8))
                    return
                if verinst & 0xF == 0xF and depth < 16:
                    walk(at + 8, body_end, depth + 1)
                at = body_end

        walk(0, len(data), 0)

    # ------------------------------------------------------------ records

    def check(self, data, recs):
        at = 0
        for pos, _, body in recs:
            if pos != at:
                self.fail('a record at %d, the one before ended at %d' % (pos, at))
            at = pos + 4 + len(body)
        if at != len(data):
            self.fail('the records end at %d, the stream at %d' % (at, len(data)))
        # The drawing bytes of each open substream (a chart substream
        # nested in a worksheet has its own); joined from the MSODRAWING
        # records and the CONTINUE records right after them.
        stack, in_drawing, substream = [], False, 0
        for i, (pos, kind, body) in enumerate(recs):
            where = 'record 0x%04X at %d' % (kind, pos)
            if kind == 0x0809:
                substream += 1
                stack.append(['substream %d (from %d)' % (substream, pos), b''])
                in_drawing = False
            if kind in (0x00EC, 0x00EB) and stack:
                if kind == 0x00EB and stack[-1][1]:
                    self.officeart('the drawing group of ' + stack[-1][0], stack[-1][1])
                    stack[-1][1] = b''
                stack[-1][1] += body
                in_drawing = True
                continue
            if kind == CONTINUE and in_drawing:
                stack[-1][1] += body
                continue
            in_drawing = False
            if kind == 0x000A and stack:
                name, drawing = stack.pop()
                if drawing:
                    self.officeart('the drawing of ' + name, drawing)
            if kind in FIXED and FIXED[kind] is not None and len(body) != FIXED[kind]:
                self.fail('%s: %d bytes, the record has %d' % (where, len(body), FIXED[kind]))
            elif kind == FORMULA:
                self.formula(where, body, 22, 20)
                text_result = len(body) >= 14 and body[6] == 0 and body[12:14] == b'\xff\xff'
                j = i + 1
                while j < len(recs) and recs[j][1] in (SHRFMLA, ARRAY, TABLE):
                    j += 1
                follows = j < len(recs) and recs[j][1] == STRING
                if text_result != follows:
                    self.fail('%s: a %s result %s a STRING record' %
                              (where, 'text' if text_result else 'non-text', 'without' if text_result else 'with'))
            elif kind == SHRFMLA:
                self.formula(where, body, 10, 8)
            elif kind == ARRAY:
                self.formula(where, body, 14, 12)
            elif kind == STRING:
                if len(body) < 3:
                    self.fail('%s: %d bytes' % (where, len(body)))
                elif i + 1 < len(recs) and recs[i + 1][1] == CONTINUE:
                    pass  # a text longer than one record
                else:
                    self.string_fill(where, body, 2, struct.unpack_from('<H', body)[0])
            elif kind == NAME:
                if len(body) < 15:
                    self.fail('%s: %d bytes' % (where, len(body)))
                    continue
                grbit, key, cch, cce = struct.unpack_from('<HBBH', body)
                lengths = body[10:14]
                flags = body[14]
                name_end = 15 + cch * (2 if flags & 1 else 1)
                if name_end + cce > len(body):
                    self.fail('%s: name and %d token bytes need %d bytes, the body holds %d' %
                              (where, cce, name_end + cce, len(body)))
                    continue
                extra = self.walk_tokens(where, body[name_end:name_end + cce])
                rest = body[name_end + cce:]
                if extra is not None and not any(lengths) and not extra and rest:
                    self.fail('%s: %d bytes after the tokens' % (where, len(rest)))
            elif kind == 0x1051:  # BRAI
                if len(body) < 8:
                    self.fail('%s: %d bytes' % (where, len(body)))
                else:
                    self.formula(where, body, 8, 6)
            elif kind == 0x100D:  # SeriesText
                if len(body) < 4:
                    self.fail('%s: %d bytes' % (where, len(body)))
                else:
                    self.string_fill(where, body, 3, body[2])
            elif kind == 0x0204:  # LABEL
                if len(body) < 9:
                    self.fail('%s: %d bytes' % (where, len(body)))
                else:
                    self.string_fill(where, body, 8, struct.unpack_from('<H', body, 6)[0])
            elif kind == 0x001C:  # NOTE
                if len(body) < 11:
                    self.fail('%s: %d bytes' % (where, len(body)))
                else:
                    cch, flags = struct.unpack_from('<HB', body, 8)
                    size = 11 + cch * (2 if flags & 1 else 1)
                    if len(body) not in (size, size + 1):
                        self.fail('%s: an author of %d characters takes %d bytes, the body holds %d' %
                                  (where, cch, size, len(body)))
            elif kind == 0x005D:  # OBJ
                at = 0
                while True:
                    if at + 4 > len(body):
                        self.fail('%s: sub-records run past the body without an end' % where)
                        break
                    ft, cb = struct.unpack_from('<HH', body, at)
                    if ft == 0x0000 or ft == 0x0013:
                        break  # the end, or list data whose size is its own
                    at += 4 + cb
            elif kind == 0x01B6:  # TXO
                if len(body) < 14:
                    self.fail('%s: %d bytes' % (where, len(body)))
                    continue
                cch, cb_runs = struct.unpack_from('<HH', body, 10)
                parts = []
                j = i + 1
                while j < len(recs) and recs[j][1] == CONTINUE:
                    parts.append(recs[j][2])
                    j += 1
                if cch == 0:
                    continue
                if len(parts) == 2:
                    self.string_fill(where + ' text', parts[0], 0, cch)
                    if len(parts[1]) != cb_runs:
                        self.fail('%s: %d run bytes declared, %d written' % (where, cb_runs, len(parts[1])))
                elif len(parts) < 2:
                    self.fail('%s: %d characters without their text and run records' % (where, cch))
        for name, drawing in stack:
            if drawing:
                self.officeart('the drawing of ' + name, drawing)
        return self.failures


def check(data, recs):
    return Checker().check(data, recs)


def main():
    import xls_writer_check
    failures = []
    for path in sys.argv[1:]:
        data, recs = xls_writer_check.records(path)
        failures += ['%s: %s' % (path, f) for f in check(data, recs)]
    for f in failures[:40]:
        print(f)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
