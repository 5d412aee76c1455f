#!/usr/bin/python3
"""Seeds for the web state fuzz targets: corpus/set_cookie (header
values), corpus/cookie_files (two 16-bit lengths, the index, policy and
data files, built with struct from the file layouts) and
corpus/cache_index (file cache indexes)."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    d = os.path.join(HERE, "corpus", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def key(domain):
    h = 0
    for b in domain.encode():
        h = (h * 31 + (b - 256 if b >= 128 else b)) & 0xFFFFFFFF
    return h


def block(used, nxt, prv, text):
    return struct.pack("<III", used, nxt & 0xFFFFFFFF, prv & 0xFFFFFFFF) + text.ljust(256, b"\0")


def cookie_input(index, policy, data):
    return struct.pack("<HH", len(index), len(policy)) + index + policy + data


def utf16(text):
    return text.encode("utf-16-le") + b"\0\0"


def pad(b):
    return b + b"\0" * (-len(b) % 4)


def cache_record(url, data_url, stored, length, items_extra=()):
    items = [utf16(data_url), utf16(url), utf16("text/html"), b"", b"", b"name\0", b"", b"", b"", b""]
    for i, v in items_extra:
        items[i] = v
    fixed = struct.pack("<7I", 1700000000, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 60,
                        1699999999, 1700000000)
    fixed += struct.pack("<8I", 0, 0, length, 0, 200, stored, 0, 0)
    fixed += struct.pack("<10I", *[len(i) for i in items])
    return fixed + b"".join(pad(i) for i in items)


def main():
    for name, text in [
        ("plain", "a=1"), ("attributes", "Set-Cookie: id=7; Path=/; Domain=.example.com; Secure"),
        ("expires", "x=y; expires=Sun, 06 Nov 1994 08:49:37 GMT; max-age=60"),
        ("version", "x=y; Version=2"), ("set_cookie2", "Set-Cookie2: a=1"),
        ("empty_items", ";;; =; a"), ("host", "www.bbc.co.uk"),
    ]:
        write("set_cookie", name, text)

    header = b"Cook" + b"Version 1.0\0"
    k = key("example.com")
    good_data = header + block(23, -1, -1, b"a=1;Domain=example.com\0")
    write("cookie_files", "good", cookie_input(struct.pack("<5I", 0, 0, k, 0, 5),
                                              b"BLOCK ads.example.com\n", good_data))
    write("cookie_files", "empty_index", cookie_input(b"empty", b"", good_data))
    write("cookie_files", "loop", cookie_input(struct.pack("<5I", 0, 0, k, 0, 5), b"",
                                              header + block(3, 1, -1, b"a=1") + block(3, 0, 0, b"b=2")))
    write("cookie_files", "bad_header", cookie_input(struct.pack("<5I", 0, 0, k, 0, 5), b"",
                                                    b"Junk" + b"Version 1.0\0"))
    write("cookie_files", "policies", cookie_input(b"", b"# c\r\nCONFIRM example.com\nblockx.org", header))

    head = struct.pack("<II", 0xCACEF17F, 3)
    rec = cache_record("http://www.example.com/", "file://localhost/okala_dir/1.dat", 10, 10)
    write("cache_index", "one", head + rec)
    write("cache_index", "two_same_url", head + rec + rec)
    write("cache_index", "cut", head + rec + rec[:50])
    write("cache_index", "odd_length", head + cache_record("http://a/", "x", 10, 10, [(2, b"abc")]))
    write("cache_index", "wrong_size", head + cache_record("http://b/", "file://localhost/okala_dir/1.dat", 9, 9))
    write("cache_index", "version2", struct.pack("<II", 0xCACEF17F, 2) + rec)


if __name__ == "__main__":
    main()
