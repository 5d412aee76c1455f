#!/usr/bin/env bash
# Runs the table generators that take their input from tools/gen into a
# temporary folder and compares what they write with the committed files:
# a table edited by hand, or an input changed without regenerating, fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$(mktemp -d "${TMPDIR:-/tmp}/vexlan-gen.XXXXXX")
trap 'rm -rf "$out"' EXIT
for generator in gen_html_attributes gen_css_tables gen_html_default_style; do
  /usr/bin/python3 "$root/tools/gen/$generator.py" --out "$out"
done
status=0
for file in html/attributes_data.cpp html/css/csstables_data.cpp html/defaultstyle_data.cpp; do
  if ! cmp -s "$out/$file" "$root/$file"; then
    echo "$file is not what its generator writes:"
    diff "$root/$file" "$out/$file" | head -20 || true
    status=1
  fi
done
if ! /usr/bin/python3 "$root/tools/gen/gen_html_entities.py" --check; then
  echo "html/entities.cpp is not what tools/gen/gen_html_entities.py writes"
  status=1
fi
exit $status
