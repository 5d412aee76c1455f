#!/usr/bin/python3
"""Compares what LibreOffice computes from a source workbook and from the
engine's save of it.

Usage: xls_recalc_check.py SOURCE SAVED [SHEET!ROW:COL=TEXT ...]

LibreOffice (headless) converts both files to csv, one file per sheet.
LibreOffice recalculates the formulas of a workbook it loads from their
tokens, so a formula whose tokens were cut or damaged shows an error
("Err:520") or another number, whatever result the file stored. Every
sheet of the saved file must show what the source shows, cell for cell,
except the cells listed (SHEET is the sheet's name, ROW and COL count from
0), which must show TEXT: the results of an edit.

Exit status 0 when they agree, 1 on any difference, 77 when LibreOffice is
not installed (the test then says it was left out)."""
import csv
import glob
import os
import shutil
import subprocess
import sys
import tempfile

# The csv filter: comma, double quote, UTF-8, from line 1, formulas'
# results as shown, every sheet to a file of its own (-1).
FILTER = 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1'


def sheets_of(out, stem):
    """{sheet name: rows} of the csv files LibreOffice wrote for stem."""
    sheets = {}
    for path in glob.glob(os.path.join(out, stem + '-*.csv')):
        name = os.path.basename(path)[len(stem) + 1:-4]
        with open(path, encoding='utf-8', errors='replace', newline='') as f:
            sheets[name] = [row for row in csv.reader(f)]
    return sheets


def cell(rows, r, c):
    return rows[r][c] if r < len(rows) and c < len(rows[r]) else ''


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    source, saved = sys.argv[1:3]
    expected = {}
    for item in sys.argv[3:]:
        place, text = item.split('=', 1)
        sheet, rc = place.rsplit('!', 1)
        r, c = (int(x) for x in rc.split(':'))
        expected[(sheet, r, c)] = text
    soffice = shutil.which('soffice')
    if not soffice:
        print('LibreOffice is not installed: the recalculating check is left out')
        return 77
    failures = []
    with tempfile.TemporaryDirectory() as out:
        # Copies under names of their own: a source and a save may share
        # a file name.
        a, b = os.path.join(out, 'source.xls'), os.path.join(out, 'saved.xls')
        shutil.copyfile(source, a)
        shutil.copyfile(saved, b)
        profile = 'file://' + os.path.join(out, 'profile')
        subprocess.run([soffice, '-env:UserInstallation=' + profile, '--headless', '--norestore', '--convert-to',
                        FILTER, '--outdir', out, a, b], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=300)
        before, after = sheets_of(out, 'source'), sheets_of(out, 'saved')
    if not before:
        failures.append('LibreOffice made no csv of the source')
    if sorted(before) != sorted(after):
        failures.append('sheets %s, saved %s' % (sorted(before), sorted(after)))
    for name in sorted(set(before) & set(after)):
        rows_a, rows_b = before[name], after[name]
        for r in range(max(len(rows_a), len(rows_b))):
            width = max(len(rows_a[r]) if r < len(rows_a) else 0, len(rows_b[r]) if r < len(rows_b) else 0)
            for c in range(width):
                want = expected.get((name, r, c), cell(rows_a, r, c))
                got = cell(rows_b, r, c)
                if got != want:
                    failures.append('%s (%d,%d): LibreOffice computes %r from the saved file, %r from the source'
                                    % (name, r, c, got, want))
    for (name, r, c), text in expected.items():
        if name not in after:
            failures.append('no sheet %s for the edited cell (%d,%d)' % (name, r, c))
    for f in failures[:40]:
        print(f)
    if len(failures) > 40:
        print('... %d differences in all' % len(failures))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
