#!/usr/bin/python3
"""Checks a workbook that the engine saved against its source.

Usage: xls_writer_check.py SOURCE SAVED EDITS [office]

A SOURCE that xlrd cannot read (a LABELSST beyond the shared strings) is
given as its FILE.cells.expect instead: the saved workbook must then hold
every listed cell with its kind, value and XF, and the census is left out.

EDITS is "-" or a comma-separated list of SHEET:ROW:COL=NUMBER, the cells
the engine set before saving. With xlrd (formatting info on), the saved
workbook must have the source's sheets, every cell's value and type (the
edited cells their new number), every cell's font and XF attributes, the
merged ranges and each sheet's visibility. A census of the saved
"Workbook" stream finds every BOUNDSHEET's position at a BOF, the
source's sheets (chart sheets and macro sheets too) with their names,
types and BOF types, every record of the saved stream parsed against its
own length (xls_record_lengths.py), and every record of the kinds that must
survive (Series, BRAI, OBJ, TXO, NOTE, HLINK, PROTECT) as often as in the
source. Where LibreOffice is installed (too large to install for every
test run), its csv of the saved first sheet shows the edited numbers
when "office" is given.
Exit status 1 on any failure."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

import olefile
import xlrd

import xls_record_lengths

SURVIVE = {0x1003: 'Series', 0x1051: 'BRAI', 0x005D: 'OBJ', 0x01B6: 'TXO', 0x001C: 'NOTE',
           0x01B8: 'HLINK', 0x0012: 'PROTECT'}

failures = []


def fail(text):
    failures.append(text)


def records(path):
    ole = olefile.OleFileIO(path)
    name = 'Workbook' if ole.exists('Workbook') else 'Book'
    data = ole.openstream(name).read()
    ole.close()
    out, at = [], 0
    while at + 4 <= len(data):
        kind, length = struct.unpack_from('<HH', data, at)
        out.append((at, kind, data[at + 4:at + 4 + length]))
        at += 4 + length
    return data, out


def formula_cells(path):
    """The (sheet, row, column) of every FORMULA record of the worksheets:
    their results follow the edit, so only their presence is compared."""
    _, recs = records(path)
    out, sheet, depth = set(), -1, 0
    for _, kind, body in recs:
        if kind == 0x0809:
            depth += 1
            if depth == 1:
                sheet += 1
        elif kind == 0x000A:
            depth = max(0, depth - 1)
        elif kind == 0x0006 and len(body) >= 4:
            row, col = struct.unpack_from('<HH', body)
            out.add((sheet - 1, row, col))
    return out


def census(source, saved):
    _, src = records(source)
    data, out = records(saved)
    for kind, name in SURVIVE.items():
        a = sum(1 for r in src if r[1] == kind)
        b = sum(1 for r in out if r[1] == kind)
        if b < a:
            fail('%s records: %d in the source, %d saved' % (name, a, b))
    for at, kind, body in out:
        if kind == 0x0085:
            pos = struct.unpack_from('<I', body)[0]
            if pos + 4 > len(data) or struct.unpack_from('<H', data, pos)[0] != 0x0809:
                fail('BOUNDSHEET at %d points at %d, not a BOF' % (at, pos))
    before, after = sheet_list(source), sheet_list(saved)
    if before != after:
        fail('sheets (name, type, BOF type) %s, saved %s' % (before, after))


def sheet_list(path):
    """Every sheet of the workbook, chart sheets and macro sheets too: its
    name, its BOUNDSHEET type and the substream type of the BOF it names."""
    data, recs = records(path)
    out = []
    for _, kind, body in recs:
        if kind != 0x0085 or len(body) < 8:
            continue
        pos, dt, count, flags = struct.unpack_from('<I', body)[0], body[5], body[6], body[7]
        name = body[8:8 + 2 * count].decode('utf-16-le') if flags & 1 else body[8:8 + count].decode('latin-1')
        sub = struct.unpack_from('<H', data, pos + 6)[0] if pos + 8 <= len(data) else None
        out.append((name, dt, sub))
    return out


def font_of(book, xf):
    f = book.font_list[xf.font_index]
    return (f.height, f.bold, f.italic, f.underline_type, f.struck_out, f.name, f.escapement)


def xf_of(book, xfx):
    xf = book.xf_list[xfx]
    b = xf.border
    return (font_of(book, xf), book.format_map[xf.format_key].format_str if xf.format_key in book.format_map else None,
            (b.left_line_style, b.right_line_style, b.top_line_style, b.bottom_line_style),
            xf.background.fill_pattern, xf.alignment.hor_align, xf.alignment.vert_align,
            xf.alignment.text_wrapped, xf.protection.cell_locked)


def compare(source, saved, edits):
    a = xlrd.open_workbook(source, formatting_info=True)
    b = xlrd.open_workbook(saved, formatting_info=True)
    if a.sheet_names() != b.sheet_names():
        fail('sheets %s, saved %s' % (a.sheet_names(), b.sheet_names()))
        return
    if [s.visibility for s in a.sheets()] != [s.visibility for s in b.sheets()]:
        fail('sheet visibility %s, saved %s' % ([s.visibility for s in a.sheets()],
                                                [s.visibility for s in b.sheets()]))
    formulas = formula_cells(source)
    for si in range(a.nsheets):
        sa, sb = a.sheet_by_index(si), b.sheet_by_index(si)
        if sorted(sa.merged_cells) != sorted(sb.merged_cells):
            fail('sheet %d merged %s, saved %s' % (si, sa.merged_cells, sb.merged_cells))
        for r in range(max(sa.nrows, sb.nrows)):
            for c in range(max(sa.ncols, sb.ncols)):
                ca = sa.cell(r, c) if r < sa.nrows and c < sa.ncols else xlrd.sheet.Cell(0, '')
                cb = sb.cell(r, c) if r < sb.nrows and c < sb.ncols else xlrd.sheet.Cell(0, '')
                where = 'sheet %d cell (%d,%d)' % (si, r, c)
                if (si, r, c) in edits:
                    if cb.ctype != xlrd.XL_CELL_NUMBER or cb.value != edits[(si, r, c)]:
                        fail('%s: %r, edited to %r' % (where, cb.value, edits[(si, r, c)]))
                    continue
                va, vb = ca.value, cb.value
                ta, tb = ca.ctype, cb.ctype
                if ta == xlrd.XL_CELL_EMPTY and tb == xlrd.XL_CELL_BLANK or \
                        ta == xlrd.XL_CELL_BLANK and tb == xlrd.XL_CELL_EMPTY:
                    ta = tb
                if (si, r, c) in formulas:
                    ta, va = tb, vb
                if ta != tb or va != vb:
                    fail('%s: %r (%d), saved %r (%d)' % (where, va, ta, vb, tb))
                if ca.xf_index is not None and cb.xf_index is not None and \
                        xf_of(a, ca.xf_index) != xf_of(b, cb.xf_index):
                    fail('%s: format %s, saved %s' % (where, xf_of(a, ca.xf_index), xf_of(b, cb.xf_index)))


KINDS = {'number': xlrd.XL_CELL_NUMBER, 'text': xlrd.XL_CELL_TEXT, 'bool': xlrd.XL_CELL_BOOLEAN,
         'error': xlrd.XL_CELL_ERROR, 'blank': xlrd.XL_CELL_BLANK}


def compare_expect(expect, saved, edits):
    b = xlrd.open_workbook(saved, formatting_info=True)
    names = {}
    for line in open(expect, encoding='utf-8').read().splitlines():
        fields = line.split('\t')
        if line.startswith('#sheet'):
            names[int(fields[1])] = fields[2]
            if int(fields[1]) < b.nsheets and b.sheet_by_index(int(fields[1])).visibility != int(fields[3]):
                fail('sheet %s: visibility %s, saved %d' % (fields[1], fields[3],
                                                             b.sheet_by_index(int(fields[1])).visibility))
            continue
        if line.startswith('#') or len(fields) < 6:
            continue
        si, r, c = int(fields[0]), int(fields[1]), int(fields[2])
        kind, value, xf = fields[3], fields[4], int(fields[5])
        where = 'sheet %d cell (%d,%d)' % (si, r, c)
        if si >= b.nsheets or r >= b.sheet_by_index(si).nrows or c >= b.sheet_by_index(si).ncols:
            fail('%s: missing from the saved file' % where)
            continue
        cell = b.sheet_by_index(si).cell(r, c)
        if (si, r, c) in edits:
            if cell.ctype != xlrd.XL_CELL_NUMBER or cell.value != edits[(si, r, c)]:
                fail('%s: %r, edited to %r' % (where, cell.value, edits[(si, r, c)]))
            continue
        if cell.xf_index != xf:
            fail('%s: XF %d, saved %s' % (where, xf, cell.xf_index))
        if kind.startswith('formula-'):
            continue
        if kind == 'number':
            got = cell.ctype == KINDS[kind] and cell.value == float(value)
        elif kind == 'text':
            got = cell.ctype == KINDS[kind] and cell.value == value.replace('\\t', '\t').replace('\\n', '\n')
        elif kind == 'blank':
            got = cell.ctype in (xlrd.XL_CELL_BLANK, xlrd.XL_CELL_EMPTY)
        else:
            got = cell.ctype == KINDS[kind]
        if not got:
            fail('%s: %s %r, saved %r (%d)' % (where, kind, value, cell.value, cell.ctype))
    for (si, r, c), value in edits.items():
        sheet = b.sheet_by_index(si) if si < b.nsheets else None
        if not sheet or r >= sheet.nrows or c >= sheet.ncols or sheet.cell(r, c).value != value:
            fail('sheet %d cell (%d,%d): not the edited %r' % (si, r, c, value))
    if [names[k] for k in sorted(names)] != b.sheet_names():
        fail('sheets %s, saved %s' % ([names[k] for k in sorted(names)], b.sheet_names()))


def libreoffice(saved, edits):
    soffice = shutil.which('soffice')
    if not soffice:
        print('LibreOffice is not installed: its check is left out')
        return
    with tempfile.TemporaryDirectory() as out:
        profile = 'file://' + os.path.join(out, 'profile')
        subprocess.run([soffice, '-env:UserInstallation=' + profile, '--headless', '--convert-to', 'csv',
                        '--outdir', out, saved], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=180)
        csv = os.path.join(out, os.path.splitext(os.path.basename(saved))[0] + '.csv')
        if not os.path.exists(csv):
            fail('LibreOffice made no csv of the saved file')
            return
        rows = [line.split(',') for line in open(csv, encoding='utf-8', errors='replace').read().splitlines()]
        for (si, r, c), value in edits.items():
            if si != 0:
                continue
            got = rows[r][c] if r < len(rows) and c < len(rows[r]) else ''
            try:
                ok = float(got.strip('"')) == value
            except ValueError:
                ok = False
            if not ok:
                fail('LibreOffice shows %r at (%d,%d), edited to %r' % (got, r, c, value))


def main():
    source, saved, edit_list = sys.argv[1:4]
    office = sys.argv[4:5] == ['office']
    edits = {}
    if edit_list != '-':
        for item in edit_list.split(','):
            place, value = item.split('=')
            si, r, c = (int(x) for x in place.split(':'))
            edits[(si, r, c)] = float(value)
    if source.endswith('.cells.expect'):
        compare_expect(source, saved, edits)
    else:
        census(source, saved)
        compare(source, saved, edits)
    if office:
        libreoffice(saved, edits)
    data, recs = records(saved)
    for f in xls_record_lengths.check(data, recs):
        fail('saved: ' + f)
    for f in failures[:40]:
        print(f)
    if len(failures) > 40:
        print('... %d failures in all' % len(failures))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
