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
    # Attribute-heavy pages: presentational attributes, odd lengths and
    # colours, and meta charsets.
    (0x10, b"<body bgcolor=12345 text=#1234567 link=zzzzzz vlink='mediumsea green' alink marginwidth=99999"
           b" topmargin=-3><table border frame=box rules=cols cellpadding=2.5cm cellspacing=1.99999mm"
           b" bordercolor=#abc align=center><tr valign=baseline><td nowrap width=50% height=0 bgcolor=red>x"),
    (0x11, b"<font size=+99 face=\"A, B\" color=red>a</font><font size=-x size=2.>b</font><hr size=1 noshade"
           b" color=blue width=.5in><img align=absmiddle width=-1 height=0 hspace=1e3 vspace=4pc border=2>"
           b"<br clear=all><ul compact><li>c</ul><p align=JUSTIFY><h1 align=left><caption align=bottom>"),
    (0x10, b"<meta http-equiv=content-type content='text/html; charset=koi8-r'>\xc1\xc2"
           b"<meta http-equiv=\"Content-Type\" content=\"charset=windows-1251\"><p>\xc0\xc1"),
    (0x10, b"<meta http-equiv='content-type' content=\"charset=x-\"><meta http-equiv content=charset=>"
           b"<meta http-equiv=content-type content=charset=utf-8-1999><p align>x</p>"),
]


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    for i, (option, page) in enumerate(PAGES):
        (OUT / ("seed-%02d" % i)).write_bytes(bytes([option]) + page)


if __name__ == "__main__":
    main()
