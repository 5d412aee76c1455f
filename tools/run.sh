#!/usr/bin/env bash
# Installs what is missing, builds the program and runs it. Arguments go to
# the program. Until the GUI program exists: with a document, docdump opens
# it with the engine and prints its tree; without one, the headless program
# starts and stops the engine.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEXLAN_TESTS=OFF -DVEXLAN_BENCH=OFF >/dev/null
if [ $# -gt 0 ]; then
  cmake --build build/release --target docdump
  exec build/release/docdump "$@"
fi
cmake --build build/release --target vexlan-headless
exec build/release/vexlan-headless
