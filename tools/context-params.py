#!/usr/bin/env python3
"""Checks that engine headers pass the engine context alike everywhere.

Every declaration in an engine header (functions and function-pointer types)
that takes an EngineContext pointer takes it as its first parameter and names
it `context` (an unnamed parameter is fine). Findings are reported as
"file: function: reason". tools/context-params-known.txt lists the findings
still accepted; it only shrinks: a listed finding that no longer occurs is
reported too, so that its line is removed.

Usage: context-params.py [--list]
  --list prints every finding, listed or not, and exits 0.
"""
import os
import re
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
FOLDERS = ['core', 'platform', 'graphics', 'fonts', 'document', 'layout', 'office', 'html', 'pdf',
           'word', 'spreadsheet', 'viewer', 'app']
# A name (or a parenthesised pointer name) and a parameter list without
# nested parentheses that mentions the context type.
DECL = re.compile(r'(\(\s*\*\s*\w+\s*\)|\b\w+)\s*\(([^()]*\bEngineContext\s*\*[^()]*)\)')
PARAM = re.compile(r'^(?:const\s+)?(?:struct\s+)?EngineContext\s*\*\s*(?:const\s+)?(\w*)$')
COMMENT = re.compile(r'//[^\n]*|/\*.*?\*/', re.S)


def findings():
    found = []
    for folder in FOLDERS:
        for dirpath, dirnames, filenames in os.walk(os.path.join(ROOT, folder)):
            dirnames.sort()
            for name in sorted(filenames):
                if not name.endswith('.h'):
                    continue
                path = os.path.join(dirpath, name)
                rel = os.path.relpath(path, ROOT)
                with open(path, encoding='utf-8') as fh:
                    text = COMMENT.sub('', fh.read())
                for m in DECL.finditer(text):
                    func = re.sub(r'[\s(*)]', '', m.group(1))
                    params = [p.strip() for p in m.group(2).split(',')]
                    for i, p in enumerate(params):
                        pm = PARAM.match(p)
                        if not pm:
                            continue
                        if i != 0:
                            found.append('%s: %s: not first' % (rel, func))
                        if pm.group(1) not in ('', 'context'):
                            found.append('%s: %s: named %s' % (rel, func, pm.group(1)))
    return found


def main():
    found = findings()
    if '--list' in sys.argv[1:]:
        print('\n'.join(found))
        return 0
    with open(os.path.join(ROOT, 'tools', 'context-params-known.txt')) as fh:
        known = [line.strip() for line in fh if line.strip() and not line.startswith('#')]
    bad = 0
    for f in found:
        if f not in known:
            print('context parameter: ' + f)
            bad += 1
    for k in known:
        if k not in found:
            print('no longer occurs (remove it from tools/context-params-known.txt): ' + k)
            bad += 1
    return 1 if bad else 0


if __name__ == '__main__':
    sys.exit(main())
