#!/usr/bin/python3
"""Checks the record structure of a workbook that the engine saved.

Usage: xls_writer_records.py SAVED [split] [SHEET:ROW:COL=KIND:VALUE ...]
                             [link:SHEET:FIRSTROW:LASTROW:FIRSTCOL:LASTCOL:URL ...]

Always: every record body holds at most 8224 bytes, and every record is
parsed against its own length (xls_record_lengths.py). Each worksheet's
INDEX names its DEFCOLWIDTH and one slot per DBCELL, in order, each at a
DBCELL of the sheet; each DBCELL points back at the first ROW record of
its block and counts the block's ROW records, all of one 32-row block; a
ROW record is written only for a row that holds cells or whose height
differs from the sheet's default, and every row holding cells has one.
The SST is read on its own (a CONTINUE that goes on inside a string's
characters starts with a flags byte) and every LABELSST's string must be
the text xlrd reads for its cell; each
EXTSST entry names the stream position of every eighth string and its
offset in its record.

"split": the SST must have a string of 16-bit characters and one of 8-bit
characters cut by a record boundary (the fixture's case is exercised).

SHEET:ROW:COL=KIND:VALUE: the cell (SHEET counts worksheets from 0) must
be written as KIND, RK or NUMBER, holding VALUE (a Python float: "nan",
"inf", "-inf", "2.5"); xlrd must read the same value.

link:...: the worksheets named hold exactly the links listed (xlrd's
hyperlink list: range and URL; xlrd also refuses a tooltip whose range
is not its link's).
Exit status 1 on any failure."""
import math
import struct
import sys

import xlrd

import xls_record_lengths
import xls_writer_check

LIMIT = 8224
CELLS = {0x0201, 0x0203, 0x0204, 0x0205, 0x027E, 0x00FD, 0x0006, 0x00BD, 0x00BE}

failures = []


def fail(text):
    failures.append(text)


def records(path):
    """(position, type, body) of every record of the workbook stream."""
    return xls_writer_check.records(path)[1]


def worksheets(recs):
    """The records of each worksheet substream (embedded ones left out)."""
    out, current, depth = [], None, 0
    for r in recs:
        at, kind, body = r
        if kind == 0x0809:
            depth += 1
            if depth == 1:
                sub = struct.unpack_from('<H', body, 2)[0]
                current = [] if sub == 0x0010 else None
                if current is not None:
                    out.append(current)
        elif kind == 0x000A:
            depth -= 1
            if depth == 0:
                current = None
            continue
        if depth == 1 and current is not None:
            current.append(r)
    return out


def rk_value(v):
    x = struct.unpack('<d', struct.pack('<Q', (v & 0xFFFFFFFC) << 32))[0] if not v & 2 else float(
        struct.unpack('<i', struct.pack('<I', v))[0] >> 2)
    return x / 100 if v & 1 else x


def check_sheet(si, recs):
    where = 'sheet %d' % si
    by_at = {at: (kind, body) for at, kind, body in recs}
    index = [r for r in recs if r[1] == 0x020B]
    dbcells = [r for r in recs if r[1] == 0x00D7]
    rows = {}
    cell_rows = set()
    default = 255
    for at, kind, body in recs:
        if kind == 0x0208:
            rows[at] = struct.unpack_from('<HHHH', body)
        elif kind in CELLS:
            cell_rows.add(struct.unpack_from('<H', body)[0])
        elif kind == 0x0225:
            default = struct.unpack_from('<H', body, 2)[0]
    if len(index) != 1:
        fail('%s: %d INDEX records' % (where, len(index)))
        return
    body = index[0][2]
    first, last, defcol = struct.unpack_from('<III', body, 4)
    slots = list(struct.unpack_from('<%dI' % ((len(body) - 16) // 4), body, 16))
    if by_at.get(defcol, (None,))[0] != 0x0055:
        fail('%s: INDEX names %d for DEFCOLWIDTH, not one' % (where, defcol))
    used = [s for s in slots if s]
    if used != [r[0] for r in dbcells]:
        fail('%s: INDEX slots %s, DBCELL records at %s' % (where, used, [r[0] for r in dbcells]))
    if len(slots) < len(dbcells):
        fail('%s: %d INDEX slots for %d DBCELL records' % (where, len(slots), len(dbcells)))
    for at, _, body in dbcells:
        back = struct.unpack_from('<I', body)[0]
        start = at - back
        count = (len(body) - 4) // 2
        block = [a for a in sorted(rows) if start <= a < at]
        if start not in rows:
            fail('%s: DBCELL at %d points back to %d, not a ROW record' % (where, at, start))
        if len(block) != count:
            fail('%s: DBCELL at %d counts %d ROW records, its block has %d' % (where, at, count, len(block)))
        if len({rows[a][0] >> 5 for a in block}) > 1:
            fail('%s: DBCELL at %d covers rows %s' % (where, at, [rows[a][0] for a in block]))
    written = {r[0]: r[3] & 0x7FFF for r in rows.values()}
    for row, height in written.items():
        if row not in cell_rows and height == default:
            fail('%s: ROW record for row %d of default height without cells' % (where, row))
    for row in cell_rows - set(written):
        fail('%s: row %d holds cells without a ROW record' % (where, row))


def read_sst(recs, require_split):
    """The strings of the SST read across its CONTINUE records, with the
    stream position of each string."""
    at = next((i for i, r in enumerate(recs) if r[1] == 0x00FC), None)
    if at is None:
        return None, []
    chunks = [recs[at]]
    for r in recs[at + 1:]:
        if r[1] != 0x003C:
            break
        chunks.append(r)
    pieces = [(pos, body) for pos, _, body in chunks]
    k, off = 0, 8

    def take(n):
        nonlocal k, off
        out = b''
        while n:
            if off >= len(pieces[k][1]):
                k, off = k + 1, 0
            part = pieces[k][1][off:off + n]
            out += part
            off += len(part)
            n -= len(part)
        return out

    total, unique = struct.unpack_from('<II', pieces[0][1])
    strings, starts = [], []
    split = set()
    for _ in range(unique):
        if off >= len(pieces[k][1]):
            k, off = k + 1, 0
        starts.append((pieces[k][0] + 4 + off, pieces[k][0], off + 4))
        count = struct.unpack('<H', take(2))[0]
        flags = take(1)[0]
        runs = struct.unpack('<H', take(2))[0] if flags & 8 else 0
        ext = struct.unpack('<I', take(4))[0] if flags & 4 else 0
        chars = []
        wide = flags & 1
        while len(chars) < count:
            if off >= len(pieces[k][1]):
                k, off = k + 1, 0
                wide = take(1)[0] & 1
                split.add('16-bit' if wide else '8-bit')
            if wide:
                chars.append(struct.unpack('<H', take(2))[0])
            else:
                chars.append(take(1)[0])
        strings.append(''.join(chr(c) for c in chars))
        take(4 * runs + ext)
    for body in (p[1] for p in pieces):
        if len(body) > LIMIT:
            fail('an SST piece of %d bytes' % len(body))
    if require_split and split != {'16-bit', '8-bit'}:
        fail('the SST cuts %s strings, not both 8-bit and 16-bit ones' % sorted(split))
    ext = next((r for r in recs if r[1] == 0x00FF), None)
    if ext is None:
        fail('no EXTSST')
    else:
        per = struct.unpack_from('<H', ext[2])[0]
        entries = (len(ext[2]) - 2) // 8
        if per != 8 or entries != (unique + 7) // 8:
            fail('EXTSST: %d strings a bucket, %d entries for %d strings' % (per, entries, unique))
        for b in range(entries):
            ib, cb = struct.unpack_from('<IH', ext[2], 2 + 8 * b)
            stream_pos, _, in_record = starts[8 * b]
            if (ib, cb) != (stream_pos, in_record):
                fail('EXTSST bucket %d: (%d, %d), the string lies at (%d, %d)' % (b, ib, cb, stream_pos, in_record))
    return strings, starts


def cell_record(sheet_recs, row, col):
    for _, kind, body in sheet_recs:
        if kind in CELLS and len(body) >= 4 and struct.unpack_from('<HH', body) == (row, col):
            return kind, body
    return None, None


def same(a, b):
    return (math.isnan(a) and math.isnan(b)) or a == b


def main():
    saved = sys.argv[1]
    args = sys.argv[2:]
    require_split = 'split' in args
    data, recs = xls_writer_check.records(saved)
    for f in xls_record_lengths.check(data, recs):
        fail(f)
    for at, kind, body in recs:
        if len(body) > LIMIT:
            fail('record 0x%04X at %d holds %d bytes' % (kind, at, len(body)))
    sheets = worksheets(recs)
    for si, sheet in enumerate(sheets):
        check_sheet(si, sheet)
    book = xlrd.open_workbook(saved, formatting_info=True)
    strings, _ = read_sst(recs, require_split)
    for si, sheet in enumerate(sheets):
        for _, kind, body in sheet:
            if kind != 0x00FD:
                continue
            r, c, _, k = struct.unpack_from('<HHHI', body)
            text = book.sheet_by_index(si).cell(r, c).value
            if strings is None or k >= len(strings) or strings[k] != text:
                fail('sheet %d cell (%d,%d): string %d read across the SST differs from xlrd\'s %r' %
                     (si, r, c, k, text[:20]))
    for item in (a for a in args if '=' in a):
        place, expected = item.split('=')
        si, r, c = (int(x) for x in place.split(':'))
        kind, value = expected.split(':')
        value = float(value)
        where = 'sheet %d cell (%d,%d)' % (si, r, c)
        rtype, body = cell_record(sheets[si], r, c) if si < len(sheets) else (None, None)
        want = {'RK': 0x027E, 'NUMBER': 0x0203}[kind]
        if rtype != want:
            fail('%s: record %s, not %s' % (where, rtype and '0x%04X' % rtype, kind))
            continue
        got = rk_value(struct.unpack_from('<I', body, 6)[0]) if kind == 'RK' else struct.unpack_from('<d', body, 6)[0]
        if not same(got, value):
            fail('%s: %s holds %r, not %r' % (where, kind, got, value))
        cell = book.sheet_by_index(si).cell(r, c)
        if cell.ctype != xlrd.XL_CELL_NUMBER or not same(cell.value, value):
            fail('%s: xlrd reads %r, not %r' % (where, cell.value, value))
    links = {}
    for item in (a for a in args if a.startswith('link:')):
        _, si, fr, lr, fc, lc, url = item.split(':', 6)
        links.setdefault(int(si), set()).add((int(fr), int(lr), int(fc), int(lc), url))
    for si, expected in links.items():
        got = {(h.frowx, h.lrowx, h.fcolx, h.lcolx, h.url_or_path.rstrip('\0'))
               for h in book.sheet_by_index(si).hyperlink_list}
        if got != expected:
            fail('sheet %d links %s, expected %s' % (si, sorted(got), sorted(expected)))
    for f in failures[:40]:
        print(f)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
