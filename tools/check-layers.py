#!/usr/bin/env python3
"""Checks that the engine's folders depend on each other in one direction.

Reads the layer table (tools/layers.txt) and every #include "..." line of the
folders it names. An include of a header in a later layer, or in another
folder of the same layer, is a violation, reported with its file and line;
there are no exceptions.

Usage: check-layers.py [--count | --list]
  --count prints the violations per pair of folders, --list each one as a
  file and included header.
"""
import collections
import os
import re
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def read_table(name):
    with open(os.path.join(ROOT, 'tools', name)) as fh:
        return [line.split() for line in fh if line.strip() and not line.startswith('#')]


def main():
    layers = read_table('layers.txt')
    rank = {folder: i for i, line in enumerate(layers) for folder in line}
    found = []
    for folder in sorted(rank):
        for d, subs, files in os.walk(os.path.join(ROOT, folder)):
            subs.sort()
            for f in sorted(files):
                if not f.endswith(('.cpp', '.h', '.c')):
                    continue
                path = os.path.join(d, f)
                rel = os.path.relpath(path, ROOT)
                with open(path, errors='replace') as fh:
                    for number, line in enumerate(fh, 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        target = m.group(1).split('/')[0]
                        if target not in rank or target == folder:
                            continue
                        if rank[target] >= rank[folder]:
                            found.append((rel, number, m.group(1), folder, target))
    if len(sys.argv) > 1 and sys.argv[1] == '--count':
        pairs = collections.Counter((v[3], v[4]) for v in found)
        for (a, b), n in sorted(pairs.items()):
            print(f'{a} -> {b}: {n}')
        print(f'{len(found)} include lines against the layers')
        return 0
    if len(sys.argv) > 1 and sys.argv[1] == '--list':
        for pair in sorted(set((v[0], v[2]) for v in found)):
            print(*pair)
        return 0
    for rel, number, header, folder, target in found:
        print(f'{rel}:{number}: includes {header}: {target}/ is not below {folder}/ (tools/layers.txt)')
    if found:
        print('layers: FAILED')
        return 1
    print('layers: clean')
    return 0


if __name__ == '__main__':
    sys.exit(main())
