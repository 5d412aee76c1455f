#!/usr/bin/env bash
# Checks, or with --fix applies, the source layout that .clang-format sets
# on every C and C++ file of the repository except the generated tables in
# tools/format-skip.txt.
#
#   tools/check-format.sh [--fix] [FILE...]
#
# Uses clang-format-14 (the version tools/install-deps.sh installs: another
# version lays some constructs out differently). Without FILE it takes every
# tracked .cpp, .h, .hpp and .c file. Exits 1 and names the files that would
# change; --fix rewrites them in place.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
fix=0
if [ "${1:-}" = --fix ]; then fix=1; shift; fi
formatter=$(command -v clang-format-14 || true)
if [ -z "$formatter" ]; then
  echo "check-format: clang-format-14 is not installed (tools/install-deps.sh installs it)" >&2
  exit 1
fi
if [ $# -gt 0 ]; then
  files=("$@")
else
  mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.hpp' '*.c' |
                       grep -vxF -f <(grep -v '^#' tools/format-skip.txt))
fi
if [ $fix = 1 ]; then
  printf '%s\0' "${files[@]}" | xargs -0 -P "$(nproc)" -n 50 "$formatter" -i
  exit 0
fi
bad=$(printf '%s\0' "${files[@]}" |
      xargs -0 -P "$(nproc)" -n 50 "$formatter" --dry-run 2>&1 |
      sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: warning: code should be clang-formatted.*/\1/p' |
      sort -u)
if [ -n "$bad" ]; then
  echo "These files are not laid out as .clang-format says (tools/check-format.sh --fix rewrites them):"
  echo "$bad"
  exit 1
fi
echo "format: ${#files[@]} files clean"
