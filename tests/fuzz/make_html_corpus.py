#!/usr/bin/env python3
"""Writes the seed corpus of the html_load fuzz target: an option byte
(chunk size, detection, default character set) and a page."""
from pathlib import Path

OUT = Path(__file__).resolve().parent / "corpus" / "html_load"

PAGES = [
    (0x10, b"<html><head><title>T &amp; t</title></head><body><p>one<p>two</body></html>"),
    (0x01, b"<b>x<div>y</div>z</b><i><b>a<p>b"),
    (0x12, b"<table><td>a<td>b<tr><th>c</table><td>stray</td>"),
    (0x03, b"<!-- a -- b --><![CDATA[ <x> ]]><!---->&#150;&#x1F600;&#0;&amp &ampx&copy2"),
    (0x14, b"<!--[if IE 5]>shown<![endif]--><!--[if gte IE 6]>hidden<![endif]--><![if !vml]>v<![endif]>"),
    (0x05, b"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\" \"loose.dtd\"><p>x"),
    (0x16, b"<script>if (a<b) x();</script><style>p{}</style><xmp><b></xmp><noscript><p>n</p></noscript>"),
    (0x17, b"<title>unclosed <b>bold"),
    (0x00, b"text <!-- unterminated > rest <p"),
    (0x21, "<p>\u65e5\u672c\u8a9e\u306e\u30c6\u30ad\u30b9\u30c8</p>".encode("shift_jis")),
    (0x32, "\ufeff<p>\u041f\u0440\u0438\u0432\u0435\u0442</p>".encode("utf-16-le")),
    (0x11, "\ufeff<p>caf\u00e9 \u2013 \U0001F600</p>".encode("utf-8")),
    (0x06, b"<font>" * 200 + b"x<p>y" + b"</font>" * 50 + b"<ul><li>a<li>b</ul><q>q</q><img src=a><br/></br>"),
    (0x02, b"<b x<i>y<p class = \"a&lt;b\" id=x checked>z<?xml version='1.0'?><foo>unknown</foo>"),
    (0x08, b"<html><html><body bgcolor=red><body>twice<head><frameset><frame><iframe src=x></iframe>"),
]


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    for i, (option, page) in enumerate(PAGES):
        (OUT / ("seed-%02d" % i)).write_bytes(bytes([option]) + page)


if __name__ == "__main__":
    main()
