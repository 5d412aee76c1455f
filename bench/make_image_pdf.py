#!/usr/bin/env python3
"""Writes one-page PDFs of a single huge image, drawn into an ordinary
page: the case in which an image must be decoded at the size it is drawn
rather than at its full size.

  mask   a 10000 x 10000 one-bit scanned page (CCITT G4, an image mask)
  flate  the same page as uncompressed-then-Flate samples (an image mask)
  photo  an 8000 x 6000 colour photograph (baseline JPEG)

Ghostscript rasterises a small PostScript drawing to make the samples
(tiffg4, pbmraw and jpeg devices); the encoded data go into the PDF unchanged.

Usage: make_image_pdf.py mask|flate|photo OUT.pdf"""
import os
import struct
import subprocess
import sys
import tempfile
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'fixtures', 'pdf'))
from pdfwrite import stream, write_objects  # noqa: E402

MASK_PS = b"""%!PS
<< /PageSize [600 600] >> setpagedevice
0 0 0 setrgbcolor newpath 300 300 240 0 360 arc fill
1 1 1 setrgbcolor 100 240 400 120 rectfill
0 0 0 setrgbcolor /Helvetica findfont 48 scalefont setfont 80 520 moveto (Scanned page test) show
0.5 setlinewidth 0 20 600 { dup 0 moveto 600 lineto stroke } for
showpage
"""

PHOTO_PS = b"""%!PS
<< /PageSize [800 600] >> setpagedevice
0 1 799 { dup dup 800 div 0.2 1 4 -1 roll 800 div sub setrgbcolor 0 1 600 rectfill } for
1 1 0 setrgbcolor newpath 400 300 250 0 360 arc fill
0 0 0 setrgbcolor /Helvetica findfont 60 scalefont setfont 100 450 moveto (Large photo) show
showpage
"""


def rasterise(ps, device, resolution, extra, out):
    with tempfile.NamedTemporaryFile(suffix='.ps') as f:
        f.write(ps)
        f.flush()
        subprocess.run(['gs', '-q', '-dNOPAUSE', '-dBATCH', '-dSAFER', '-sDEVICE=' + device, '-r%d' % resolution]
                       + extra + ['-sOutputFile=' + out, f.name], check=True)


def tiff_strip(path):
    """The width, height and the one strip of a single-strip TIFF."""
    data = open(path, 'rb').read()
    end = '<' if data[:2] == b'II' else '>'
    (ifd,) = struct.unpack(end + 'I', data[4:8])
    (count,) = struct.unpack(end + 'H', data[ifd:ifd + 2])
    tags = {}
    for i in range(count):
        tag, kind, n, value = struct.unpack(end + 'HHII', data[ifd + 2 + 12 * i:ifd + 14 + 12 * i])
        if kind == 3 and n == 1:
            value = struct.unpack(end + 'H', data[ifd + 10 + 12 * i:ifd + 12 + 12 * i])[0]
        tags[tag] = (n, value)
    if tags[273][0] != 1:
        raise SystemExit('more than one strip')
    offset, size = tags[273][1], tags[279][1]
    return tags[256][1], tags[257][1], data[offset:offset + size]


def jpeg_size(data):
    i = 2
    while i < len(data):
        marker, length = data[i + 1], struct.unpack('>H', data[i + 2:i + 4])[0]
        if marker in (0xC0, 0xC1, 0xC2):
            h, w = struct.unpack('>HH', data[i + 5:i + 9])
            return w, h
        i += 2 + length
    raise SystemExit('no frame header')


def page_pdf(path, image_dict, data):
    content = b'q 515 0 0 515 40 160 cm /Im1 Do Q'
    objs = [b'<< /Type /Catalog /Pages 2 0 R >>',
            b'<< /Type /Pages /Kids [3 0 R] /Count 1 >>',
            b'<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R '
            b'/Resources << /XObject << /Im1 5 0 R >> >> >>',
            stream(content),
            stream(data, image_dict)]
    write_objects(path, objs)


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ('mask', 'flate', 'photo'):
        raise SystemExit(__doc__)
    kind, out = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as tmp:
        if kind == 'mask':
            tif = os.path.join(tmp, 'page.tif')
            rasterise(MASK_PS, 'tiffg4', 1200, ['-dMaxStripSize=0'], tif)
            w, h, data = tiff_strip(tif)
            page_pdf(out, b'/Type /XObject /Subtype /Image /Width %d /Height %d /ImageMask true '
                          b'/Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns %d /Rows %d >> '
                     % (w, h, w, h), data)
        elif kind == 'flate':
            pbm = os.path.join(tmp, 'page.pbm')
            rasterise(MASK_PS, 'pbmraw', 1200, [], pbm)
            data = open(pbm, 'rb').read()
            # P4, the size, then the packed rows (1 is black).
            fields, at = [], 0
            while len(fields) < 3:
                while data[at:at + 1].isspace():
                    at += 1
                if data[at:at + 1] == b'#':
                    at = data.index(b'\n', at)
                    continue
                end = at
                while not data[end:end + 1].isspace():
                    end += 1
                fields.append(data[at:end])
                at = end
            w, h = int(fields[1]), int(fields[2])
            page_pdf(out, b'/Type /XObject /Subtype /Image /Width %d /Height %d /ImageMask true '
                          b'/Decode [1 0] /Filter /FlateDecode ' % (w, h), zlib.compress(data[at + 1:], 6))
        else:
            jpg = os.path.join(tmp, 'photo.jpg')
            rasterise(PHOTO_PS, 'jpeg', 720, ['-dJPEGQ=85'], jpg)
            data = open(jpg, 'rb').read()
            w, h = jpeg_size(data)
            page_pdf(out, b'/Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceRGB '
                          b'/BitsPerComponent 8 /Filter /DCTDecode ' % (w, h), data)


if __name__ == '__main__':
    main()
