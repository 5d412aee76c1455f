#!/usr/bin/python3
"""Times opening, laying out and drawing page 1 of large workbooks as whole
processes: docrender at 1240 x 1754 pixels, each workbook timed as
pdf_render_bench.py times a page (the best of five runs' processor time,
user + system of the child, and wall-clock time). The processor time takes
in everything the engine does for the page: reading the workbook, the sheet
layout, the page drawn into the picture, and the page's thumbnail, which
the display manager draws band by band within its size limit.

The workbooks: the ones named on the command line, or the LARGEST largest
.xls files of the shared corpus (VEXLAN_CORPUS, default /work/shared/corpus).
Goal: page 1 of every workbook (the corpus's run to about 1 MB; the goal
was set for workbooks of about 2 MB) within 0.5 s of processor time.

Usage: bench/sheet_render_bench.py path/to/docrender [WORKBOOK.xls ...]
Exit status 1 when a workbook misses the goal.
"""
import glob
import os
import sys
import tempfile

from pdf_render_bench import timed

LARGEST = 5
GOAL = 0.5
CORPUS = os.environ.get('VEXLAN_CORPUS', '/work/shared/corpus')


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    docrender = os.path.abspath(sys.argv[1])
    books = sys.argv[2:]
    if not books:
        books = sorted(glob.glob(os.path.join(CORPUS, 'xls', '*.xls')), key=os.path.getsize)
        books = books[-LARGEST:][::-1]
    if not books:
        print('no workbooks: name them, or set VEXLAN_CORPUS')
        return 2
    missed = False
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, 'page.png')
        print('%-44s %8s %9s %9s' % ('workbook', 'MB', 'cpu s', 'wall s'))
        for book in books:
            wall, cpu = timed([docrender, book, '--page', '1', '--size', '1240x1754', '--out', out])
            print('%-44s %8.2f %9.3f %9.3f' % (os.path.basename(book)[:44],
                                               os.path.getsize(book) / 1e6, cpu, wall))
            missed = missed or cpu > GOAL
    print('goal: each within %.1f s of processor time: %s' % (GOAL, 'missed' if missed else 'met'))
    return 1 if missed else 0


if __name__ == '__main__':
    sys.exit(main())
