#!/usr/bin/env bash
# The engine rules check, over compiled engine objects:
#  - no object outside the host services references the system allocator
#    (malloc, calloc, realloc, free, operator new/delete and friends);
#  - no object outside the host services defines writable global or static
#    data (.data, .bss, thread-local or common symbols).
# Usage: check-engine-rules.sh [--list FILE] [OBJECT...]
# Exits 1 and names each offending object and symbol when a rule is broken.
set -u
here=$(cd "$(dirname "$0")" && pwd)
allow_file="$here/engine-rules-allow.txt"
objs=()
while [ $# -gt 0 ]; do
  case "$1" in
    --list) mapfile -t listed < <(grep -v '^$' "$2"); objs+=("${listed[@]}"); shift 2 ;;
    *) objs+=("$1"); shift ;;
  esac
done
mapfile -t allowed < <(grep -v -e '^#' -e '^$' "$allow_file")

alloc_re='^(malloc|calloc|realloc|reallocarray|free|cfree|aligned_alloc|posix_memalign|memalign|valloc|pvalloc|strdup|strndup|_Znw.*|_Zna.*|_Zdl.*|_Zda.*)$'
bad=0
checked=()
for obj in "${objs[@]}"; do
  skip=0
  for a in "${allowed[@]}"; do
    case "$obj" in *"/$a.o"|*"/$a.obj") skip=1 ;; esac
  done
  [ $skip -eq 1 ] && continue
  if [ ! -f "$obj" ]; then echo "engine rules: missing object $obj"; bad=1; continue; fi
  checked+=("$obj")
done
# One nm and one objdump over all the objects (a pair of processes per
# object made the check take a minute). Each finding line is
# "object<TAB>kind<TAB>symbol<TAB>section".
findings=$(
  if [ ${#checked[@]} -gt 0 ]; then
    printf '%s\0' "${checked[@]}" | xargs -0 nm -A -u 2>/dev/null |
      awk -v re="$alloc_re" '{ sym = $NF; file = $1; sub(/:$/, "", file); if (sym ~ re) print file "\tallocator\t" sym "\t" }'
    printf '%s\0' "${checked[@]}" | xargs -0 objdump -t -w 2>/dev/null | awk '
      /:[ \t]+file format / { file = $1; sub(/:$/, "", file); next }
      $0 ~ / O / {
        for (i = 1; i <= NF; i++) if ($i == "O") { sec = $(i+1); name = $NF; break }
        if (sec ~ /^\.(data|bss|tdata|tbss)(\.|$)/ && sec !~ /^\.data\.rel\.ro/ || sec == "*COM*") print file "\twritable\t" name "\t" sec
      }'
  fi)
while IFS=$'\t' read -r obj kind sym sec; do
  [ -z "$obj" ] && continue
  if [ "$kind" = allocator ]; then
    echo "engine rules: $obj: allocator: $(c++filt "$sym")"
  else
    echo "engine rules: $obj: writable data: $(c++filt "$sym" | sed 's/^(anonymous namespace):://') ($sec)"
  fi
  bad=1
done <<<"$findings"
if [ $bad -ne 0 ]; then
  echo "engine rules: FAILED"
  exit 1
fi
echo "engine rules: ${#objs[@]} objects checked, all clean"
