#!/usr/bin/python3
"""Cost of files that declare hostile sizes, counts or shapes: each is run
through docdump and docrender as whole processes, and the peak resident
memory and wall-clock time of each run are held against the goals (under
256 MB and under 10 s). What the tool said (its exit status and the first
line of its messages) is shown, so a refusal can be seen to be a clear one.

The files are made by tests/fixtures/hostile/make_hostile.py --large into a
temporary folder: a zip bomb (a member of 4 GiB of zeros in about 4 MB), a
zip member named "../../x", a PDF whose page tree is a cycle, a compound
file whose sector chain loops, a GIF and a PNG declaring 65535 x 65535
pixels, a workbook of 65,536 rows of formatted blanks. Beside them, the
committed tests/fixtures/hostile/farcolumn.xls: a workbook whose one cell far
to the right (column 65,285) makes its grid that many columns wide.

Usage: bench/hostile_bench.py BUILD_DIR   (the folder holding tools/docdump
and tools/docrender; a release build measures the cost, a sanitizer build
checks the runs as well, with its own overhead)
Exit status 1 when a goal is missed.
"""
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
MAKE = os.path.join(HERE, '..', 'tests', 'fixtures', 'hostile', 'make_hostile.py')
COMMITTED = [os.path.join(HERE, '..', 'tests', 'fixtures', 'hostile', 'farcolumn.xls')]
RSS_GOAL_MB = 256
TIME_GOAL_S = 10.0

# The files and the path each is opened by (a zip opens through a member).
FILES = [
    ('bomb.zip', 'bomb.zip/zeros.txt'),
    ('traversal.zip', 'traversal.zip/../../x'),
    ('traversal.zip', 'traversal.zip/notes.txt'),
    ('pagecycle.pdf', 'pagecycle.pdf'),
    ('oleloop.xls', 'oleloop.xls'),
    ('huge.gif', 'huge.gif'),
    ('huge.png', 'huge.png'),
    ('blankrows.xls', 'blankrows.xls'),
    ('farcolumn.xls', 'farcolumn.xls'),
]


def run(command, limit):
    """Runs command as a child of its own: (status, seconds, peak MB, first
    message line). The peak is read from the child's own resource use."""
    script = ('import resource, subprocess, sys, time\n'
              't = time.perf_counter()\n'
              'try:\n'
              '    p = subprocess.run(sys.argv[2:], stdout=subprocess.DEVNULL,\n'
              '                       stderr=subprocess.PIPE, timeout=float(sys.argv[1]))\n'
              '    rc, err = p.returncode, p.stderr\n'
              'except subprocess.TimeoutExpired as e:\n'
              '    rc, err = "timeout", e.stderr or b""\n'
              'w = time.perf_counter() - t\n'
              'kb = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss\n'
              'line = err.decode("utf-8", "replace").strip().splitlines()[:1]\n'
              'print("%s\\t%.2f\\t%.1f\\t%s" % (rc, w, kb / 1024.0, line[0][:90] if line else ""))\n')
    out = subprocess.run([sys.executable, '-c', script, str(limit)] + command,
                         stdout=subprocess.PIPE, check=True).stdout.decode().strip()
    rc, wall, mb, line = (out.split('\t') + [''])[:4]
    return rc, float(wall), float(mb), line


def main(argv):
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    tools = os.path.join(argv[1], 'tools')
    docdump = os.path.join(tools, 'docdump', 'docdump')
    docrender = os.path.join(tools, 'docrender', 'docrender')
    for t in (docdump, docrender):
        if not os.path.exists(t):
            docdump = os.path.join(argv[1], 'docdump')
            docrender = os.path.join(argv[1], 'docrender')
    missed = 0
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run([sys.executable, MAKE, tmp, '--large'], check=True)
        for path in COMMITTED:
            shutil.copy(path, tmp)
        png = os.path.join(tmp, 'out.png')
        print('%-26s %-9s %6s %8s %8s  %s' % ('file', 'tool', 'status', 'seconds', 'peak MB',
                                              'message'))
        for name, path in FILES:
            full = os.path.join(tmp, path)
            for tool, command in (('docdump', [docdump, full]),
                                  ('docrender', [docrender, full, '--page', '1',
                                                 '--size', '320x240', '--out', png])):
                rc, wall, mb, line = run(command, 60)
                bad = rc == 'timeout' or wall >= TIME_GOAL_S or mb >= RSS_GOAL_MB or \
                    (rc not in ('0', '1'))
                missed += bad
                print('%-26s %-9s %6s %8.2f %8.1f  %s%s' % (path, tool, rc, wall, mb, line,
                                                            '  <-- goal missed' if bad else ''))
    print('goals: peak under %d MB, time under %.0f s, status 0 or a clean refusal (1): %s'
          % (RSS_GOAL_MB, TIME_GOAL_S, 'missed %d' % missed if missed else 'met'))
    return 1 if missed else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
