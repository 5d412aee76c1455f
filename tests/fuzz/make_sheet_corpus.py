#!/usr/bin/env python3
"""Writes the seed corpora of the headerfooter and cellref fuzz targets
(tests/fuzz/corpus/headerfooter, tests/fuzz/corpus/cellref).

A headerfooter seed is a byte choosing the sheet (bits 0-1) and the
default font (bit 2), then the header text as UTF-16LE. A cellref seed is
the typed reference itself.
"""
import os

HEADERS = {
    "sections": (2, "&LLeft&CPage &P of &N&RRight"),
    "no_code": (0, "no section code at all"),
    "page_offsets": (4, "&C&P+2 &P-9 &P+ &P+99999999999999999999"),
    "font_codes": (5, '&L&"Arial,Bold Italic"&14Total&"Times"x&"A,B,Bold"&"open,Italic'),
    "toggles": (1, "&R&B&I&S&U&E&X&Y&B&I&S&U&&&A&Q&D&F&T&"),
    "big_size": (6, "&L&99999999999999999999a&0b&010c"),
    "repeat": (0, "&La&Cb&Lc&Rd&Ce&"),
    "non_ascii": (2, "&C\u00e9t\u00e9 &A \u65e5\u672c"),
}

REFS = {
    "a1": "A1", "aa1": "aa1", "iv": "IV65536", "zeros": "B00012", "row0": "C0",
    "letters": "AB", "digit_first": "1A", "long_letters": "ABCDEFGHIJKLMN1",
    "long_digits": "A99999999999999999999999", "trailing": "A1 ", "empty": "",
}


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, (pick, text) in HEADERS.items():
        write(os.path.join(here, "corpus", "headerfooter"), name, bytes([pick]) + text.encode("utf-16-le"))
    for name, text in REFS.items():
        write(os.path.join(here, "corpus", "cellref"), name, text.encode("latin-1"))


if __name__ == "__main__":
    main()
