#!/usr/bin/env bash
# Installs what is missing, builds the program and runs it. Arguments go to
# the program.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEXLAN_TESTS=OFF -DVEXLAN_BENCH=OFF >/dev/null
cmake --build build/release --target vexlan-headless
exec build/release/vexlan-headless "$@"
