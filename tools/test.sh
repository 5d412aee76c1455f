#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the normal
# build's suite (with the engine rules check and the fuzz corpus replays),
# the sanitizer build's suite (AddressSanitizer and UndefinedBehaviorSanitizer,
# built with clang), and a short run of every fuzz target from that build.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
# JOBS sets how many compilers, tests and fuzzers run at once (default: the
# machine's cores), so that the suite can run beside other work.
jobs=${JOBS:-$(nproc)}

echo "== normal build"
# Both builds compile in unity units of one folder's files (tools/unity.cmake).
# Optimised without debug information: nothing reads it here, and leaving it
# out saves a fifth of the compile time and most of the link time.
# This build is the one users get: its suite runs the programs themselves
# (docdump, docrender and docsave against the independent tools, the GUI on
# an X server) and the source checks. The unit tests and fuzz replays run
# once, in the sanitizer build below, where they check the most.
cmake -S . -B build/normal -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DVEXLAN_WERROR=ON -DVEXLAN_TEST_BATCHES=ON -DVEXLAN_UNITY=ON \
  -DVEXLAN_UNIT_TESTS=OFF >/dev/null
cmake --build build/normal -j "$jobs"
ctest --test-dir build/normal -j "$jobs" --output-on-failure --no-tests=error

echo "== sanitizer and fuzz build"
# One clang build serves both: the suite runs under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the same engine objects, instrumented for
# coverage, make the libFuzzer targets (whose corpora the suite replays).
# Line tables are all the debug information the sanitizers' stack traces use.
CC=clang-14 CXX=clang++-14 cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS_DEBUG=-gline-tables-only -DCMAKE_C_FLAGS_DEBUG=-gline-tables-only \
  -DVEXLAN_SANITIZE=ON -DVEXLAN_FUZZ=ON -DVEXLAN_BENCH=OFF -DVEXLAN_TEST_BATCHES=ON -DVEXLAN_UNITY=ON \
  -DVEXLAN_WERROR=ON >/dev/null
cmake --build build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/sanitize -j "$jobs" --output-on-failure --no-tests=error

echo "== fuzz runs"
# The fuzz phase has a fixed budget of FUZZ_SECONDS (default 120) of wall
# time, shared out over the targets and the jobs: each target fuzzes for its
# share (at least 2 and at most 10 seconds, and no more than 3000 runs), one
# per job at a time, in a folder of its own that holds a copy of its corpus,
# its log and anything libFuzzer writes (crash, leak and timeout inputs). A
# failing target's folder is kept and named; a target without a corpus
# folder fails.
targets=(build/sanitize/tests/fuzz/fuzz_*)
budget=${FUZZ_SECONDS:-120}
per_target=$(( budget * jobs / ${#targets[@]} ))
[ "$per_target" -lt 2 ] && per_target=2
[ "$per_target" -gt 10 ] && per_target=10
echo "fuzz: ${#targets[@]} targets, ${per_target} s each, $jobs at a time"
fuzz_one() {
  local f=$1 t=${1##*/fuzz_}
  local corpus=tests/fuzz/corpus/$t
  if [ ! -d "$corpus" ]; then
    echo "fuzz: $t: no corpus folder $corpus"
    return 1
  fi
  local work
  work=$(mktemp -d "${TMPDIR:-/tmp}/vexlan-fuzz-$t.XXXXXX")
  mkdir "$work/corpus"
  cp -R "$corpus"/. "$work/corpus"/
  if ! "$f" -runs=3000 -max_total_time="$per_target" -artifact_prefix="$work/" "$work/corpus" >"$work/log" 2>&1; then
    cat "$work/log"
    echo "fuzz: $t failed; its log and inputs are in $work"
    return 1
  fi
  rm -rf "$work"
}
failed=0
running=0
for f in "${targets[@]}"; do
  if [ "$running" -ge "$jobs" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
  fuzz_one "$f" &
  running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
[ "$failed" -eq 0 ] || { echo "fuzz: FAILED"; exit 1; }
echo "fuzz: every target ran clean"
