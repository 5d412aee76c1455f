#!/usr/bin/env bash
# Installs what is missing, builds the program and runs it:
#   tools/run.sh [document]
# starts vexlanedit, which opens the document (a path; relative paths are
# taken from the current directory) in its window.
set -euo pipefail
here="$(pwd)"
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEXLAN_TESTS=OFF -DVEXLAN_BENCH=OFF >/dev/null
cmake --build build/release --target vexlanedit
args=()
if [ $# -gt 0 ]; then
  doc=$1
  # The program runs from the project's root: a relative path keeps
  # naming the file it named where run.sh was started.
  case "$doc" in
    /*) ;;
    *) doc="$here/$doc" ;;
  esac
  args=("$doc" "${@:2}")
fi
exec build/release/host/vexlanedit "${args[@]}"
