#!/usr/bin/env bash
# Runs the engine rules check on the deliberately bad object and expects it
# to fail, naming both the allocator call and the writable globals.
set -u
check=$1; shift
out=$(bash "$check" "$@" 2>&1)
status=$?
echo "$out"
if [ $status -eq 0 ]; then echo "rules check passed a bad object"; exit 1; fi
for want in "allocator: malloc" "writable data: badCounter" "writable data: badBuffer"; do
  if ! grep -q "$want" <<<"$out"; then echo "missing finding: $want"; exit 1; fi
done
echo "rules check caught the bad object"
