"""Where the table generators write: with --check, compare the committed
file with the text (exit 0 when equal, 1 when not); with --out DIR, write
under DIR; otherwise write the committed file in place."""

import sys
from pathlib import Path


def write(text, root, out):
    if "--check" in sys.argv:
        sys.exit(0 if (root / out).read_text() == text else 1)
    base = Path(sys.argv[sys.argv.index("--out") + 1]) if "--out" in sys.argv else root
    (base / out).parent.mkdir(parents=True, exist_ok=True)
    (base / out).write_text(text)
