#!/usr/bin/python3
"""Writes the seed corpus of the text layout fuzz target (corpus/textlayout):
short texts that reach the line and page paths of laying out a text
document."""
import os

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "textlayout")

SEEDS = {
    "lines": "first line\nsecond line\n\nafter an empty line\n",
    "crlf_tabs": "a\r\nb\tc\t\td\rE\x0bF\r\n",
    "long_word": "x" * 700 + " tail\n" + "word " * 120 + "\n",
    "pages": "".join("line %d of many\n" % i for i in range(160)),
    "scripts": "abc \u05e9\u05dc\u05d5\u05dd def \u0e2a\u0e27\u0e31\u0e2a\u0e14\u0e35 \u4e2d\u6587\u5b57 \U0001f600\n",
    "spaces": "   leading\n      \n\t\t\ttabs only\n" + " " * 300 + "\n",
    "link": "see https://example.org/a?b=c and http://x.y/ for more\n",
    "empty": "",
}

os.makedirs(HERE, exist_ok=True)
for name, text in SEEDS.items():
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(text.encode("utf-8"))
