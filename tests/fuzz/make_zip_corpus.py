#!/usr/bin/env python3
"""Writes the seed corpus of the zip fuzz target (corpus/zip/).

The seeds are the zip fixtures of tests/fixtures/zip (made with Info-ZIP's
zip: stored and deflated members, a comment, a stub, folders, an archive in
an archive, bzip2 and encrypted members), and a few shapes made here: an
empty archive, a truncated one, one whose deflated member claims a large
size, and one with many small folders.
"""
import os
import shutil
import struct
import zlib

here = os.path.dirname(os.path.abspath(__file__))
fixtures = os.path.join(here, "..", "fixtures", "zip")
out = os.path.join(here, "corpus", "zip")
os.makedirs(out, exist_ok=True)

for name in sorted(os.listdir(fixtures)):
    if name.lower().endswith(".zip"):
        shutil.copy(os.path.join(fixtures, name), os.path.join(out, name.lower()))


def archive(entries, claimed=None):
    """entries: (name, data, deflate); claimed: uncompressed sizes to record."""
    body, central = b"", b""
    for i, (name, data, deflate) in enumerate(entries):
        if deflate:
            c = zlib.compressobj(9, zlib.DEFLATED, -15)
            packed = c.compress(data) + c.flush()
        else:
            packed = data
        size = claimed[i] if claimed else len(data)
        crc = zlib.crc32(data) & 0xFFFFFFFF
        method = 8 if deflate else 0
        local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, method, 0, 0x5264, crc,
                            len(packed), size, len(name), 0)
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 0x314, 20, 0, method, 0,
                               0x5264, crc, len(packed), size, len(name), 0, 0, 0, 0, 0,
                               len(body)) + name
        body += local + name + packed
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central),
                      len(body), 0)
    return body + central + end


seeds = {
    "empty_archive": struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0, 0, 0, 0, 0),
    "truncated": archive([(b"t.txt", b"truncated member " * 40, True)])[:120],
    "claims_more": archive([(b"big", b"x" * 100, True)], claimed=[0xFFFFFF00]),
    "folders": archive([(b"f%d/g%d/h" % (i, i % 3), b"%d" % i, i % 2 == 1) for i in range(40)]
                       + [(b"top", b"t", False)]),
}
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
