#!/usr/bin/env bash
# Installs what building and testing Vexlan needs on Debian 12, and only
# what is missing: with everything present it does nothing.
set -euo pipefail
# The generators under tools/gen and tests/ are not run by the build: their
# output is committed, and each says what it needs to run again.
pkgs=(
  cmake ninja-build g++ binutils mold
  zlib1g-dev libpng-dev libjpeg62-turbo-dev
  libgtest-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev
  # The layout check (tools/check-format.sh) runs this formatter version.
  clang-format-14
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-l10n-tools
  xvfb xauth imagemagick python3-pil netpbm
  # The program's screenshot tests type their keys with xdotool.
  xdotool
  # The copy check reads the clipboard with xclip.
  xclip
  python3-fonttools libfreetype-dev
  # The fonts the built-in font map names (tools/gen/gen_romfs.py): the
  # catalogue opens them where the packages put them.
  fonts-liberation2 fonts-urw-base35 fonts-dejavu-core fonts-droid-fallback
  # The compound-file fixtures' script (tests/fixtures/office/) lists
  # files with olefile; the writer's round-trip test runs it.
  python3-olefile
  # The PDF fixtures' script (tests/fixtures/pdf/make_fixtures.py) and the
  # PDF benchmarks; python3 runs the check of docdump against qpdf's
  # committed answers (tests/fixtures/pdf/check_objects.py).
  qpdf ghostscript poppler-utils mupdf-tools python3
  # The Word writer's test opens saved files with catdoc and antiword
  # (tests/word/writer_tools_check.py).
  catdoc antiword
  # The workbook writer's test opens saved workbooks with xlrd
  # (tests/spreadsheet/xls_writer_check.py).
  python3-xlrd
  # LibreOffice without its screen parts: the writers' tests have it
  # recalculate saved workbooks (tests/spreadsheet/xls_recalc_check.py)
  # and lay saved Word files out (tests/word/writer_layout_check.py);
  # they skip their LibreOffice checks where it is missing.
  libreoffice-calc-nogui libreoffice-writer-nogui
)
missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
