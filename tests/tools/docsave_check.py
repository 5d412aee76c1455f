#!/usr/bin/python3
"""docsave from the command line: what it saves, what it edits, and how it
fails.

Usage: docsave_check.py DOCSAVE DOCDUMP FIXTURES

- A workbook of formulas is saved with exit 0; the saved workbook's
  records parse to their declared lengths, and (where LibreOffice is
  installed) LibreOffice computes the same results from it as from the
  source.
- --edit appends its text to the workbook's first cell (xlrd reads it) and
  to a Word document's first paragraph (docdump --text reads it); a Word
  document saved without an edit has the source's text.
- Saving over an existing file replaces it.
- Failures exit with 1 and the engine's reason, and leave nothing at the
  output path (an output file that was there stays as it was): a kind the
  engine cannot save, a folder that does not exist, a missing source.
- A wrong command line exits with 2.
Exit status 1 on any failure."""
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'spreadsheet'))

import xlrd  # noqa: E402

import xls_record_lengths  # noqa: E402
import xls_writer_check  # noqa: E402

failures = []


def fail(text):
    failures.append(text)


def run(args):
    r = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
    return r.returncode, r.stdout.decode('utf-8', 'replace'), r.stderr.decode('utf-8', 'replace')


def text_of(docdump, path):
    code, out, _ = run([docdump, '--text', path])
    return out if code == 0 else None


def main():
    docsave, docdump, fixtures = sys.argv[1:4]
    book = os.path.join(fixtures, 'spreadsheet', 'calc_totals.xls')
    word = os.path.join(fixtures, 'word', 'runs.doc')
    text = os.path.join(fixtures, 'app', 'hello.txt')
    with tempfile.TemporaryDirectory() as out:
        def target(name):
            return os.path.join(out, name)

        # Saves that succeed.
        code, _, err = run([docsave, book, '--out', target('book.xls')])
        if code != 0:
            fail('workbook: exit %d: %s' % (code, err.strip()))
        else:
            data, recs = xls_writer_check.records(target('book.xls'))
            for f in xls_record_lengths.check(data, recs):
                fail('workbook: ' + f)
            r = subprocess.run(['/usr/bin/python3', os.path.join(HERE, '..', 'spreadsheet', 'xls_recalc_check.py'),
                                book, target('book.xls')], timeout=600)
            if r.returncode not in (0, 77):
                fail('workbook: LibreOffice computes other results from the saved file')
        # A relative output path names a file in the working directory.
        r = subprocess.run([os.path.abspath(docsave), os.path.abspath(book), '--out', 'relative.xls'], cwd=out,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
        if r.returncode != 0 or not os.path.exists(target('relative.xls')):
            fail('relative output path: exit %d, %s' % (r.returncode, 'saved' if os.path.exists(
                target('relative.xls')) else 'not saved in the working directory'))
        code, _, err = run([docsave, book, '--out', target('book-edited.xls'), '--edit', ' and more'])
        if code != 0:
            fail('workbook --edit: exit %d: %s' % (code, err.strip()))
        else:
            first = xlrd.open_workbook(target('book-edited.xls')).sheet_by_index(0).cell(0, 0).value
            if first != 'Item and more':
                fail('workbook --edit: the first cell reads %r' % first)
        code, _, err = run([docsave, word, '--out', target('word.doc')])
        if code != 0:
            fail('word: exit %d: %s' % (code, err.strip()))
        elif text_of(docdump, target('word.doc')) != text_of(docdump, word):
            fail('word: the saved text differs from the source\'s')
        code, _, err = run([docsave, word, '--out', target('word-edited.doc'), '--edit', ' and more'])
        source_lines = (text_of(docdump, word) or '').splitlines()
        saved_lines = (text_of(docdump, target('word-edited.doc')) or '').splitlines() if code == 0 else []
        if code != 0:
            fail('word --edit: exit %d: %s' % (code, err.strip()))
        else:
            edited = [i for i, (a, b) in enumerate(zip(source_lines, saved_lines)) if a != b]
            if len(saved_lines) != len(source_lines) or len(edited) != 1 or \
                    saved_lines[edited[0]] != source_lines[edited[0]] + ' and more':
                fail('word --edit: lines %s of %d changed, expected one paragraph ending in " and more"' %
                     (edited, len(saved_lines)))
        with open(target('replaced.xls'), 'wb') as f:
            f.write(b'not a workbook')
        code, _, err = run([docsave, book, '--out', target('replaced.xls')])
        if code != 0:
            fail('over an existing file: exit %d: %s' % (code, err.strip()))
        else:
            try:
                xlrd.open_workbook(target('replaced.xls'))
            except Exception as e:  # noqa: BLE001 - any failure to read counts
                fail('over an existing file: the result does not read: %s' % e)

        # Saves that fail: (source, output, text the message must hold).
        with open(target('kept.txt'), 'wb') as f:
            f.write(b'kept as it was')
        cases = [
            (text, target('hello-saved.txt'), 'engine error 1552'),
            (text, target('kept.txt'), 'engine error 1552'),
            (word, os.path.join(out, 'no-such-folder', 'x.doc'), 'engine error 780'),
            (os.path.join(out, 'missing.doc'), target('missing-saved.doc'), 'cannot open'),
        ]
        for source, saved, message in cases:
            existed = os.path.exists(saved)
            code, _, err = run([docsave, source, '--out', saved])
            where = '%s -> %s' % (os.path.basename(source), os.path.relpath(saved, out))
            if code != 1:
                fail('%s: exit %d, not 1' % (where, code))
            if message not in err:
                fail('%s: the message %r does not say %r' % (where, err.strip(), message))
            if existed:
                if open(saved, 'rb').read() != b'kept as it was':
                    fail('%s: the existing output file changed' % where)
            elif os.path.exists(saved):
                fail('%s: a file was left at the output path' % where)
        leftovers = [n for n in os.listdir(out) if '.tmp' in n or n.startswith('save')]
        if leftovers:
            fail('temporary files left behind: %s' % leftovers)

        for args in ([book], [book, '--out'], ['--out', target('x.xls')], [book, '--out', target('y.xls'), '--bad']):
            code, _, _ = run([docsave] + args)
            if code != 2:
                fail('command line %s: exit %d, not 2' % (args, code))
    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
