#!/usr/bin/env python3
"""docrender against mutool draw on the same pages, as whole processes.

For each page both tools draw it at the same pixel size into a PNG file;
each is run RUNS times and the best processor time (user + system of the
child) is kept. With valgrind installed every run is also counted under
callgrind once (instructions, which machine load does not move). The
script prints each tool's figures and docrender's ratio to mutool's.

The pages:
  text     a text-heavy PDF's page 1 at 1240 x 1754 (TEXT_PDF, or the first
           argument after docrender; default: a long paper from the shared
           corpus, else the project's heavy text fixture)
  drawing  a one-page drawing of 38,000 small paths (bench/make_drawing_pdf.py)
  book     page 100 of a 352-page text book (written here)
  workbook page 1 of a large workbook, docrender only (mutool cannot read
           one; WORKBOOK, or the largest .xls of the shared corpus)

Usage: bench/vs_mutool.py path/to/docrender [text.pdf] [--no-callgrind]
Not part of the test suite: a measurement, never a pass or fail.
"""
import glob
import os
import resource
import shutil
import subprocess
import sys
import tempfile

RUNS = 5
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, '..')
CORPUS = '/work/shared/corpus'
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(ROOT, 'tests', 'fixtures', 'pdf'))
from make_drawing_pdf import drawing, write_pdf  # noqa: E402
from pdfwrite import stream, write_objects  # noqa: E402


def make_book(path, pages=352):
    """A book of `pages` pages of justified-looking text in Times."""
    objs = [b'<< /Type /Catalog /Pages 2 0 R >>']
    kids = ' '.join('%d 0 R' % (3 + 2 * i) for i in range(pages))
    objs.append(b'<< /Type /Pages /Kids [%s] /Count %d >>' % (kids.encode(), pages))
    font = b'<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman >>'
    words = ('the of and a to in is was he for it with as his on be at by had are but from or '
             'have an they which one you were her all she there would their we him been has when').split()
    for p in range(pages):
        lines = []
        for row in range(46):
            text = ' '.join(words[(p * 7 + row * 3 + k) % len(words)] for k in range(14))
            lines.append('(%s) Tj T*' % text)
        content = ('BT /F1 11 Tf 13 TL 72 720 Td %s ET' % ' '.join(lines)).encode()
        objs.append(b'<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents %d 0 R '
                    b'/Resources << /Font << /F1 %s >> >> >>' % (4 + 2 * p, font))
        objs.append(stream(content))
    write_objects(path, objs)


def cpu_of(command):
    """The best processor time of RUNS runs, or None when the command fails."""
    best = None
    for _ in range(RUNS):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        run = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        if run.returncode != 0:
            return None
        cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        best = cpu if best is None or cpu < best else best
    return best


def instructions_of(command, tmp):
    """Instructions counted by callgrind over all threads, or None."""
    out = os.path.join(tmp, 'callgrind.out')
    run = subprocess.run(['valgrind', '--tool=callgrind', '--callgrind-out-file=' + out] + command,
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    for line in run.stderr.splitlines():
        if 'Collected' in line or 'I   refs' in line:
            return int(line.split()[-1].replace(',', ''))
    return None


def ratio(a, b):
    return '%.2fx' % (a / b) if a is not None and b else '-'


def main():
    args = [a for a in sys.argv[1:] if not a.startswith('--')]
    if not args:
        print(__doc__)
        return 2
    docrender = os.path.abspath(args[0])
    callgrind = '--no-callgrind' not in sys.argv and shutil.which('valgrind')
    mutool = shutil.which('mutool')
    text = args[1] if len(args) > 1 else os.environ.get('TEXT_PDF')
    if not text:
        paper = os.path.join(CORPUS, 'pdf', 'tracemonkey_a11y.pdf')
        text = paper if os.path.exists(paper) else os.path.join(
            ROOT, 'tests', 'fixtures', 'pdf', 'text', 'heavy.pdf')
    workbook = os.environ.get('WORKBOOK')
    if not workbook:
        books = sorted(glob.glob(os.path.join(CORPUS, 'xls', '*.xls')), key=os.path.getsize)
        workbook = books[-1] if books else None
    with tempfile.TemporaryDirectory() as tmp:
        drawn = os.path.join(tmp, 'drawing.pdf')
        write_pdf(drawn, drawing(38000))
        book = os.path.join(tmp, 'book.pdf')
        make_book(book)
        cases = [('text', text, 1, True), ('drawing', drawn, 1, True), ('book', book, 100, True)]
        if workbook:
            cases.append(('workbook', workbook, 1, False))
        w, h = 1240, 1754
        print('%-9s %9s %9s %7s %14s %14s %7s' % ('page', 'docrender', 'mutool', 'cpu', 'docrender Ir',
                                                   'mutool Ir', 'Ir'))
        for name, path, page, compare in cases:
            ours = [docrender, path, '--page', str(page), '--size', '%dx%d' % (w, h), '--out',
                    os.path.join(tmp, 'ours.png')]
            theirs = [mutool, 'draw', '-q', '-w', str(w), '-h', str(h), '-o',
                      os.path.join(tmp, 'theirs.png'), path, str(page)]
            compare = compare and mutool
            a = cpu_of(ours)
            b = cpu_of(theirs) if compare else None
            ia = instructions_of(ours, tmp) if callgrind else None
            ib = instructions_of(theirs, tmp) if callgrind and compare else None
            fmt = lambda v, f: f % v if v is not None else '-'  # noqa: E731
            print('%-9s %8ss %8ss %7s %14s %14s %7s' % (
                name, fmt(a, '%.3f'), fmt(b, '%.3f'), ratio(a, b), fmt(ia, '%d'),
                fmt(ib, '%d'), ratio(ia, ib)))
    return 0


if __name__ == '__main__':
    sys.exit(main())
