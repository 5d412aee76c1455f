#!/usr/bin/python3
"""Times opening and drawing page 1 of a text-heavy PDF as whole processes:
docrender against pdftoppm and mutool draw, in the same run, and prints
the ratios against the goal: docrender at most pdftoppm's time (mutool's
ratio is only reported).

The pages: tests/fixtures/pdf/text/heavy.pdf (made by
tests/fixtures/pdf/make_text_fixtures.py with Ghostscript), about 4,000
characters in Helvetica and Times-Roman, not embedded, so every reader
draws substitutes; and the same amount of text set in an embedded CFF
font (fp-heavy-cff.pdf) and in an embedded TrueType font (fp-heavy-tt.pdf,
both made by tests/fixtures/pdf/make_fontprog_fixtures.py). Each tool draws the page at 96 pixels per inch into a
PNG file; each is run RUNS times and the best wall-clock time and the
best processor time (user + system of the child) are kept. docrender's
wall-clock time includes the settling of the layout pass, which it waits
for with the engine's timers.

Usage: bench/pdf_render_bench.py path/to/docrender
Exit status 1 when the goal is missed on processor time.
"""
import os
import resource
import subprocess
import sys
import tempfile
import time

RUNS = 5
HERE = os.path.dirname(os.path.abspath(__file__))
TEXT = os.path.join(HERE, '..', 'tests', 'fixtures', 'pdf', 'text')
PAGES = [os.path.join(TEXT, name + '.pdf') for name in ('heavy', 'fp-heavy-cff', 'fp-heavy-tt')]


def timed(command):
    best_wall, best_cpu = None, None
    for _ in range(RUNS):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wall = time.perf_counter() - start
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        best_wall = wall if best_wall is None else min(best_wall, wall)
        best_cpu = cpu if best_cpu is None else min(best_cpu, cpu)
    return best_wall, best_cpu


def main():
    docrender = sys.argv[1] if len(sys.argv) > 1 else 'build/normal/docrender'
    missed = 0
    for page in PAGES:
        print(os.path.basename(page))
        with tempfile.TemporaryDirectory() as tmp:
            tools = [
                ('docrender', [docrender, page, '--page', '1', '--size', '816x1056', '--scale', '1', '--out',
                               os.path.join(tmp, 'd.png')]),
                ('pdftoppm', ['pdftoppm', '-r', '96', '-png', '-singlefile', page, os.path.join(tmp, 'p')]),
                ('mutool', ['mutool', 'draw', '-q', '-r', '96', '-o', os.path.join(tmp, 'm.png'), page, '1']),
            ]
            results = {name: timed(command) for name, command in tools}
        for name, (wall, cpu) in results.items():
            print('  %-10s wall %7.3f s   cpu %7.3f s' % (name, wall, cpu))
        d, p, m = results['docrender'], results['pdftoppm'], results['mutool']
        print('  docrender / pdftoppm: wall %.2f, cpu %.2f (goal: at most 1)' % (d[0] / p[0],
                                                                              d[1] / max(p[1], 1e-6)))
        print('  docrender / mutool:   wall %.2f, cpu %.2f' % (d[0] / m[0], d[1] / max(m[1], 1e-6)))
        missed += d[1] > p[1]
    return 1 if missed else 0


if __name__ == '__main__':
    sys.exit(main())
