#!/usr/bin/env python3
"""Writes a one-page PDF drawing of many small paths (a plan-like mesh of
stroked polylines, filled polygons and curves spread over the whole page),
the kind of page on which a renderer's cost per path decides its speed.

Usage: make_drawing_pdf.py OUT.pdf [PATHS]   (default 38000 paths)"""
import random
import sys
import zlib


def drawing(paths, seed=7):
    rnd = random.Random(seed)
    ops = ['0.3 w 1 J 1 j']
    for i in range(paths):
        x, y = rnd.uniform(20, 590), rnd.uniform(20, 770)
        kind = i % 4
        r, g, b = rnd.random(), rnd.random(), rnd.random()
        if kind == 0:  # a stroked polyline
            pts = ['%.2f %.2f m' % (x, y)]
            for _ in range(rnd.randint(2, 6)):
                x += rnd.uniform(-8, 8)
                y += rnd.uniform(-8, 8)
                pts.append('%.2f %.2f l' % (x, y))
            ops.append('%.3f %.3f %.3f RG %s S' % (r, g, b, ' '.join(pts)))
        elif kind == 1:  # a filled triangle
            ops.append('%.3f %.3f %.3f rg %.2f %.2f m %.2f %.2f l %.2f %.2f l h f' %
                       (r, g, b, x, y, x + rnd.uniform(1, 6), y, x, y + rnd.uniform(1, 6)))
        elif kind == 2:  # a filled and stroked box
            ops.append('%.3f %.3f %.3f rg 0 0 0 RG %.2f %.2f %.2f %.2f re B' %
                       (r, g, b, x, y, rnd.uniform(1, 5), rnd.uniform(1, 5)))
        else:  # a curve
            ops.append('%.3f %.3f %.3f RG %.2f %.2f m %.2f %.2f %.2f %.2f %.2f %.2f c S' %
                       (r, g, b, x, y, x + 3, y + 6, x + 6, y - 6, x + 9, y))
    return '\n'.join(ops).encode()


def write_pdf(path, content):
    data = zlib.compress(content)
    objects = [b'<< /Type /Catalog /Pages 2 0 R >>',
               b'<< /Type /Pages /Kids [3 0 R] /Count 1 >>',
               b'<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>',
               b'<< /Length %d /Filter /FlateDecode >>\nstream\n' % len(data) + data + b'\nendstream']
    out = bytearray(b'%PDF-1.4\n')
    offsets = []
    for n, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b'%d 0 obj\n' % n + body + b'\nendobj\n'
    xref = len(out)
    out += b'xref\n0 %d\n0000000000 65535 f \n' % (len(objects) + 1)
    for off in offsets:
        out += b'%010d 00000 n \n' % off
    out += b'trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n' % (len(objects) + 1, xref)
    open(path, 'wb').write(out)


if __name__ == '__main__':
    write_pdf(sys.argv[1], drawing(int(sys.argv[2]) if len(sys.argv) > 2 else 38000))
