#!/usr/bin/env python3
"""Writes the seed corpus of the MIME parser fuzz target (corpus/mime_parse/).

Each seed is one option byte (bits 0-2 the chunk size, bit 3 collect mode)
and a message: the archive fixtures of tests/fixtures/mime and a few
made here (delimiter-like lines, lone CR breaks, a missing boundary,
nesting beyond the limit, a message without parts)."""
import os

here = os.path.dirname(os.path.abspath(__file__))
fixtures = os.path.join(here, "..", "fixtures", "mime")
out = os.path.join(here, "corpus", "mime_parse")
os.makedirs(out, exist_ok=True)


def fixture(name):
    with open(os.path.join(fixtures, name), "rb") as f:
        return f.read()


tricky = (b"Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\npre --b\r\n--b\r\n"
          b"Content-Type: text/plain\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
          b"abc--b line=\r\nx=3Dy   \r\ntail =\r\r\n--b\rContent-Type: image/png\r"
          b"Content-Transfer-Encoding: base64\r\rQUJD\r\nQU\r\nJD QQ==QUJD\r\n--b\n"
          b"Content-Type: multipart/alternative; boundary=b2\n\n--b2\n"
          b"Content-Type: text/html\nContent-Location: http://h/a&amp;b\n\n<p>x</p>\n--b--\nend\n")
deep = b"Content-Type: multipart/mixed; boundary=\"b0\"\r\n\r\n"
for i in range(1, 80):
    deep += b"--b%d\r\nContent-Type: multipart/mixed; boundary=\"b%d\"\r\n\r\n" % (i - 1, i)
deep += b"--b79\r\nContent-Type: text/html\r\n\r\n<p>deep</p>\r\n"

seeds = {
    "page_whole": bytes([7]) + fixture("page.mht"),
    "page_bytes_collect": bytes([8]) + fixture("page.mht"),
    "alternative_7": bytes([3 | 8]) + fixture("alternative.mht"),
    "words_64": bytes([4]) + fixture("words.eml"),
    "noid_2": bytes([1 | 8]) + fixture("noid.mht"),
    "tricky_1": bytes([0 | 8]) + tricky,
    "tricky_3": bytes([2]) + tricky,
    "no_boundary": bytes([2]) + b"Content-Type: multipart/related; type=\"text/html\"\r\n\r\nx\r\n",
    "headers_only": bytes([0]) + b"Content-Type: text/html\r\n\r\n",
    "plain": bytes([1]) + b"Subject: =?utf-8?q?caf=C3=A9?=\r\n\r\nline\r\n\r\nline",
    "deep": bytes([5 | 8]) + deep,
}
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
