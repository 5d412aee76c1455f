#!/usr/bin/env python3
"""Lists exported engine functions that the product does not call.

An exported engine function is one defined with external linkage (not
static, not in an anonymous namespace) in a .cpp file of an engine folder.
Every other mention of its name in the tree counts as a reference, except
declarations and definitions of it: a call, a pointer taken for a table, a
use inside a macro.  Product files are the engine folders, the hosts in
host/ and the command-line tools in tools/; tests/ and bench/ are test
files.

A function is "unused" when nothing refers to it, and "test-only" when only
test files do.  Test-only functions named in tools/interface-exports.txt
are counted apart: those under "[interface]" are the engine's interface
for hosts, those under "[test hooks]" exist for the tests (fault injection,
heap checks, statistics).  A name in that file that is not an exported
engine function, or that the product calls, is reported as stale.

Usage: unused-exports.py [--root DIR]
                         [--list unused|test-only|interface|test-hooks|stale|all]
                         [--max-unused N] [--max-unlisted N]
Prints the counts, then the listed functions as "name  file:line".
With --max-unused it exits 1 when more than N functions are unused; with
--max-unlisted it exits 1 when unused and unlisted test-only functions
together are more than N, or when a listed name is stale.
"""

import argparse
import os
import re
import sys

ENGINE_DIRS = ["core", "platform", "document", "layout", "graphics", "fonts",
               "viewer", "html", "pdf", "office", "word", "spreadsheet", "app"]
PRODUCT_DIRS = ENGINE_DIRS + ["host", "tools"]
TEST_DIRS = ["tests", "bench"]
SOURCE_ENDINGS = (".cpp", ".h", ".hpp", ".cc")

IDENT = re.compile(r"[A-Za-z_]\w*")
KEYWORDS_BEFORE_CALL = {"return", "else", "do", "case", "throw", "co_return",
                        "goto", "sizeof", "new", "delete"}
# What may stand before a function's name in its declaration or definition:
# attributes, storage words and a return type.
DECL_PREFIX = re.compile(
    r"^(?:\[\[[\w:]+(?:\([^)]*\))?\]\]\s*)*"
    r"(?:(?:static|inline|extern|constexpr|const|unsigned|signed|struct|enum|"
    r"long|short|volatile)\s+)*"
    r"[\w:]+(?:\s*<[^<>]*>)?(?:\s*const)?[\s\*&]+(?:const\s*[\*&]?\s*)*$")


def strip_code(text):
    """Blanks comments and string and character literals, keeping lines."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if c == "/" and i + 1 < n and text[i + 1] == "/":
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif c == "/" and i + 1 < n and text[i + 1] == "*":
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c == "R" and text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            k = text.find("(", i)
            delim = ")" + text[i + 2:k] + '"'
            j = text.find(delim, k)
            j = n if j < 0 else j + len(delim)
            out.append('""' + re.sub(r"[^\n]", " ", text[i + 2:j]))
            i = j
        elif c in "\"'":
            if c == "'" and i > 0 and text[i - 1].isdigit() and i + 1 < n and text[i + 1].isalnum():
                out.append(c)  # digit separator
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j = min(j, n)
            if j < n and text[j] == c:
                j += 1
            out.append(c + " " * max(j - i - 2, 0) + (c if j - i >= 2 else ""))
            i = j
        else:
            out.append(c)
            i += 1
    return "".join(out)


def walk(root, dirs):
    for d in dirs:
        base = os.path.join(root, d)
        for dirpath, dirnames, filenames in os.walk(base):
            dirnames[:] = [x for x in dirnames if x != "build" and not x.startswith(".")]
            for f in sorted(filenames):
                if f.endswith(SOURCE_ENDINGS):
                    yield os.path.join(dirpath, f)


def read(path):
    with open(path, encoding="utf-8", errors="replace") as fh:
        return strip_code(fh.read())


def statement_prefix(text, pos):
    """The text of the current statement before pos, whitespace folded."""
    start = max(text.rfind(";", 0, pos), text.rfind("{", 0, pos),
                text.rfind("}", 0, pos))
    line_start = text.rfind("\n", 0, pos) + 1
    # A preprocessor line before the statement is not part of it.
    for m in re.finditer(r"^[ \t]*#.*$", text[start + 1:pos], re.M):
        start = max(start, start + 1 + m.end())
    if text[line_start:pos].lstrip().startswith("#"):
        return "#"
    return " ".join(text[start + 1:pos].split())


def is_declaration(text, m):
    after = text[m.end():m.end() + 40].lstrip()
    if not after.startswith("("):
        return False
    prefix = statement_prefix(text, m.start())
    if prefix in ("", "#"):
        return False
    words = IDENT.findall(prefix)
    if words and words[-1] in KEYWORDS_BEFORE_CALL:
        return False
    return DECL_PREFIX.match(prefix + " ") is not None


def exported_definitions(text):
    """Yields (name, line) for externally linked function definitions."""
    depth = 0
    anon = []  # brace depths at which anonymous namespaces open
    stmt_start = 0
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if c == "#" and text[text.rfind("\n", 0, i) + 1:i].strip() == "":
            j = i
            while True:  # a directive, with its continuation lines
                e = text.find("\n", j)
                if e < 0:
                    e = n
                    break
                if text[e - 1] != "\\":
                    break
                j = e + 1
            i = e
            stmt_start = i
            continue
        if c == "{":
            stmt = " ".join(text[stmt_start:i].split())
            if re.fullmatch(r"namespace", stmt):
                anon.append(depth)
            elif depth == 0 and not anon:
                m = re.search(r"(?:^|[\s\*&])(\w+)\s*\([^;]*\)\s*(?:const\s*)?(?:noexcept\s*)?$", stmt)
                if m and not re.match(r"(static|namespace|struct|enum|union|class|typedef)\b", stmt) \
                        and "=" not in stmt.split("(")[0] and m.group(1) not in ("if", "while", "for", "switch"):
                    yield m.group(1), text.count("\n", 0, i) + 1
            depth += 1
            stmt_start = i + 1
        elif c == "}":
            depth -= 1
            if anon and anon[-1] == depth:
                anon.pop()
            stmt_start = i + 1
        elif c == ";":
            stmt_start = i + 1
        i += 1


def read_known(path):
    """Returns {name: section} from the list of interface and test hook
    functions; the first word of each line is the name."""
    known = {}
    section = None
    if not os.path.exists(path):
        return known
    with open(path, encoding="utf-8") as fh:
        for line in fh:
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            if line.startswith("[") and line.endswith("]"):
                section = line[1:-1]
                continue
            known[line.split()[0]] = section
    return known


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", default=os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    ap.add_argument("--list", choices=["unused", "test-only", "interface", "test-hooks",
                                       "stale", "all", "none"], default="unused")
    ap.add_argument("--max-unused", type=int)
    ap.add_argument("--max-unlisted", type=int)
    args = ap.parse_args()
    root = args.root
    known = read_known(os.path.join(root, "tools", "interface-exports.txt"))

    defs = {}
    for path in walk(root, ENGINE_DIRS):
        if not path.endswith(".cpp"):
            continue
        text = read(path)
        for name, line in exported_definitions(text):
            if name != "main":
                defs.setdefault(name, "%s:%d" % (os.path.relpath(path, root), line))

    product_refs = dict.fromkeys(defs, 0)
    test_refs = dict.fromkeys(defs, 0)
    for dirs, refs in ((PRODUCT_DIRS, product_refs), (TEST_DIRS, test_refs)):
        for path in walk(root, dirs):
            if os.path.basename(path) == "rules_bad.cpp":
                continue  # a deliberately broken sample for the rules check
            text = read(path)
            for m in IDENT.finditer(text):
                name = m.group(0)
                if name in refs and not is_declaration(text, m):
                    refs[name] += 1

    unused = sorted(n for n in defs if product_refs[n] == 0 and test_refs[n] == 0)
    tested = sorted(n for n in defs if product_refs[n] == 0 and test_refs[n] > 0)
    test_only = [n for n in tested if n not in known]
    interface = [n for n in tested if known.get(n) == "interface"]
    hooks = [n for n in tested if known.get(n) == "test hooks"]
    stale = sorted(n for n in known if n not in defs or product_refs[n] > 0)
    print("exported engine functions: %d" % len(defs))
    print("unused: %d" % len(unused))
    print("test-only: %d" % len(test_only))
    print("interface: %d" % len(interface))
    print("test hooks: %d" % len(hooks))
    if stale:
        print("stale lines in tools/interface-exports.txt: %d" % len(stale))
    chosen = {"unused": unused, "test-only": test_only, "interface": interface,
              "test-hooks": hooks, "stale": stale, "all": unused + test_only,
              "none": []}[args.list]
    for name in chosen:
        print("%-40s %s" % (name, defs.get(name, "(not an exported engine function)")))
    status = 0
    if args.max_unused is not None and len(unused) > args.max_unused:
        status = 1
    if args.max_unlisted is not None:
        unlisted = len(unused) + len(test_only)
        if unlisted > args.max_unlisted:
            print("%d functions that nothing in the product calls, at most %d allowed: "
                  "delete them, or list an interface or test hook function in "
                  "tools/interface-exports.txt" % (unlisted, args.max_unlisted))
            status = 1
        for name in stale:
            print("stale: %s is listed in tools/interface-exports.txt but %s"
                  % (name, "the product calls it" if name in defs else "is not an exported engine function"))
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
