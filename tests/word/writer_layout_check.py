#!/usr/bin/python3
"""Saves Word files with docsave and compares LibreOffice's layout of the
source and of the save.

Usage: writer_layout_check.py DOCSAVE [--text FILE.doc...] [--pages FILE.doc...]

Each file is saved with docsave. LibreOffice (headless) converts source
and save to PDF; both must have the same number of pages, so a lost page
or section break shows. The files after --text must also have the same
text on each page (pdftotext, spaces collapsed), so a paragraph spacing
that moves text to another page or a right-to-left paragraph read in
another order shows. antiword must read the save whenever it reads the
source.

Exit status 0 when all agree, 1 on any difference, 77 when LibreOffice
is not installed."""
import os
import shutil
import subprocess
import sys
import tempfile


def pages_of(pdf):
    r = subprocess.run(['pdftotext', pdf, '-'], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    if r.returncode != 0:
        return None
    text = r.stdout.decode('utf-8', 'replace')
    if text.endswith('\f'):
        text = text[:-1]
    return [' '.join(page.split()) for page in text.split('\f')]


def antiword_words(path):
    r = subprocess.run(['antiword', path], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return r.stdout.decode('latin-1').split() if r.returncode == 0 else None


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    docsave = sys.argv[1]
    sources, by_text, text = [], set(), False
    for a in sys.argv[2:]:
        if a in ('--text', '--pages'):
            text = a == '--text'
            continue
        sources.append(a)
        if text:
            by_text.add(os.path.basename(a))
    soffice = shutil.which('soffice')
    if not soffice:
        print('LibreOffice is not installed: the layout check is left out')
        return 77
    failures = []
    with tempfile.TemporaryDirectory() as out:
        pairs = []
        for i, source in enumerate(sources):
            name = os.path.basename(source)
            a, b = os.path.join(out, 'src%d.doc' % i), os.path.join(out, 'sav%d.doc' % i)
            shutil.copyfile(source, a)
            r = subprocess.run([docsave, source, '--out', b], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               timeout=300)
            if r.returncode != 0:
                failures.append('%s: docsave exit %d: %s' % (name, r.returncode, r.stderr.decode()[-200:]))
                continue
            pairs.append((name, a, b))
        profile = 'file://' + os.path.join(out, 'profile')
        files = [p for _, a, b in pairs for p in (a, b)]
        if files:
            subprocess.run([soffice, '-env:UserInstallation=' + profile, '--headless', '--norestore',
                            '--convert-to', 'pdf', '--outdir', out] + files,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=900)
        for name, a, b in pairs:
            before, after = pages_of(a[:-4] + '.pdf'), pages_of(b[:-4] + '.pdf')
            if before is None or after is None:
                failures.append('%s: LibreOffice made no PDF of the %s' % (name, 'source' if before is None
                                                                          else 'save'))
                continue
            if len(before) != len(after):
                failures.append('%s: %d pages, %d after the save' % (name, len(before), len(after)))
            for n, (x, y) in enumerate(zip(before, after)):
                if name in by_text and x != y:
                    failures.append('%s page %d: %r..., after the save %r...' % (name, n + 1, x[:60], y[:60]))
                    break
            if antiword_words(a) is not None and antiword_words(b) is None:
                failures.append('%s: antiword reads the source, not the save' % name)
    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
