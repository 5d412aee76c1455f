#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the normal
# build's suite (with the engine rules check and the fuzz corpus replays),
# the sanitizer build's suite (AddressSanitizer and UndefinedBehaviorSanitizer),
# and a short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
jobs=$(nproc)

echo "== normal build"
cmake -S . -B build/normal -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXLAN_WERROR=ON >/dev/null
cmake --build build/normal -j "$jobs"
ctest --test-dir build/normal -j "$jobs" --output-on-failure

echo "== sanitizer build"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVEXLAN_SANITIZE=ON -DVEXLAN_BENCH=OFF >/dev/null
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/asan -j "$jobs" --output-on-failure

echo "== fuzz build"
CC=clang-14 CXX=clang++-14 cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVEXLAN_FUZZ=ON -DVEXLAN_SANITIZE=ON -DVEXLAN_BENCH=OFF >/dev/null
cmake --build build/fuzz -j "$jobs"
for f in build/fuzz/tests/fuzz/fuzz_*; do
  t=${f##*/fuzz_}
  work=$(mktemp -d)
  cp tests/fuzz/corpus/"$t"/* "$work"/ 2>/dev/null || true
  "$f" -runs=3000 -max_total_time=20 "$work" >"$work.log" 2>&1 || { cat "$work.log"; exit 1; }
  rm -rf "$work" "$work.log"
done
echo "fuzz: every target ran clean"
