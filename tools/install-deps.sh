#!/usr/bin/env bash
# Installs what building and testing Vexlan needs on Debian 12, and only
# what is missing: with everything present it does nothing.
set -euo pipefail
pkgs=(
  cmake ninja-build g++ make binutils pkg-config python3
  zlib1g-dev libpng-dev libjpeg62-turbo-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev
  # The PDF fixtures' script (tests/fixtures/pdf/make_fixtures.py) and the
  # PDF benchmarks.
  qpdf ghostscript poppler-utils mupdf-tools
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
