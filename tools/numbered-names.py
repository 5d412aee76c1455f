#!/usr/bin/env python3
"""Lists numbered identifiers in the engine's headers.

An identifier that ends in Kind, Prop, Event, Slot, Op, Call, Hook, List,
Value, Pointer, slot or word followed by a number says where something sits,
not what it does. Such names are allowed only where the file formats and the
host protocol fix them; those are listed in tools/numbered-names-fixed.txt.
Every other one is reported with its header and line, and the script exits 1.

Usage: numbered-names.py [--all]
  --all also prints the fixed names found, marked "fixed".
"""
import os
import re
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
ENGINE = ['core', 'platform', 'graphics', 'fonts', 'document', 'layout', 'office',
          'html', 'pdf', 'word', 'spreadsheet', 'viewer']
NUMBERED = re.compile(r'\b((?:[A-Za-z_][A-Za-z_0-9]*)?(?:Kind|Prop|Event|Slot|Op|Call|Hook|List|Value|Pointer|slot|word)[0-9]+)\b')
COMMENT = re.compile(r'//.*$')


def read_fixed():
    with open(os.path.join(ROOT, 'tools', 'numbered-names-fixed.txt')) as fh:
        return {line.strip() for line in fh if line.strip() and not line.startswith('#')}


def headers():
    for folder in ENGINE:
        for base, _, files in os.walk(os.path.join(ROOT, folder)):
            for name in sorted(files):
                if name.endswith('.h'):
                    yield os.path.join(base, name)


def main():
    show_all = '--all' in sys.argv[1:]
    fixed = read_fixed()
    bad = 0
    for path in headers():
        rel = os.path.relpath(path, ROOT)
        with open(path, encoding='utf-8', errors='replace') as fh:
            for number, line in enumerate(fh, 1):
                code = COMMENT.sub('', line)
                for name in NUMBERED.findall(code):
                    if name not in fixed:
                        print(f'{rel}:{number}: {name}')
                        bad += 1
                    elif show_all:
                        print(f'{rel}:{number}: {name} fixed')
    if bad:
        print(f'{bad} numbered identifier(s) not among the fixed names', file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
