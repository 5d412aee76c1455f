#!/usr/bin/env python3
"""Lists the sources that must compile on their own in unity builds.

Two files of one folder can meet in a unity unit (tools/unity.cmake). If both
define a file-local function of the same name, the unit either fails to
compile or, worse, resolves a call to the other file's overload. This script
finds every function name defined at file level in more than one file of a
folder and prints a set of files that, compiled on their own, leaves no such
name shared inside any unit. With --check it compares that need with
tools/unity-separate.cmake and fails when a file is missing from the list.
"""
import collections
import os
import re
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
FOLDERS = ['core', 'platform', 'graphics', 'fonts', 'document', 'layout', 'office', 'html',
           'pdf', 'word', 'spreadsheet', 'viewer', 'app', 'host', 'tests', 'tools', 'bench']
# A definition's first line: return type, name, and an opening parenthesis,
# starting in the first column (members and locals are indented).
DEFINITION = re.compile(r'^(?:(?:static|inline|constexpr|extern "C")\s+)*'
                        r'[A-Za-z_][\w:<>,\s\*&]*?[\s\*&]([A-Za-z_]\w*)\s*\([^;]*$', re.M)
KEYWORDS = {'if', 'for', 'while', 'switch', 'return', 'sizeof', 'TEST', 'TEST_F', 'TEST_P',
            'INSTANTIATE_TEST_SUITE_P', 'main', 'operator', 'LLVMFuzzerTestOneInput'}


def folder_files():
    for top in FOLDERS:
        base = os.path.join(ROOT, top)
        for d, subs, files in os.walk(base):
            subs.sort()
            # Each fuzz target renames its entry point at compile time, and a
            # source with its own definitions never joins a unit.
            if os.path.relpath(d, ROOT) == os.path.join('tests', 'fuzz'):
                continue
            yield d, sorted(f for f in files if f.endswith('.cpp'))


def needed():
    separate = []
    for d, files in folder_files():
        names = collections.defaultdict(list)
        for f in files:
            with open(os.path.join(d, f), errors='replace') as fh:
                text = fh.read()
            for n in set(m.group(1) for m in DEFINITION.finditer(text)):
                if n not in KEYWORDS:
                    names[n].append(f)
        # Greedy: set apart the file sharing most names until no name is
        # shared by two files that stay in units.
        shared = {n: set(fs) for n, fs in names.items() if len(fs) > 1}
        apart = set()
        while True:
            live = {n: fs - apart for n, fs in shared.items() if len(fs - apart) > 1}
            if not live:
                break
            count = collections.Counter(f for fs in live.values() for f in fs)
            worst = max(sorted(count), key=lambda f: count[f])
            apart.add(worst)
        rel = os.path.relpath(d, ROOT)
        separate += [os.path.join(rel, f) for f in sorted(apart)]
    return separate


def listed():
    path = os.path.join(ROOT, 'tools', 'unity-separate.cmake')
    with open(path) as fh:
        text = fh.read()
    body = re.search(r'set\(VEXLAN_UNITY_SEPARATE\n(.*?)\n\)', text, re.S).group(1)
    return {line.strip() for line in body.splitlines() if line.strip()}


def main():
    need = needed()
    if len(sys.argv) > 1 and sys.argv[1] == '--check':
        missing = [f for f in need if f not in listed()]
        for f in missing:
            print(f'unity: {f} shares a file-local function name with a file of its folder; '
                  'list it in tools/unity-separate.cmake')
        return 1 if missing else 0
    print('\n'.join(need))
    return 0


if __name__ == '__main__':
    sys.exit(main())
