#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a few seconds each, from a seed
# corpus of valid files when the target's corpus folder has one.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-20}
shopt -s nullglob
status=0
for target in "$build"/tests/fuzz/fuzz_*; do
  [ -f "$target" ] && [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="$build/fuzz-corpus/$name"
  mkdir -p "$corpus"
  echo "== $name ($seconds s)"
  "$target" -max_total_time="$seconds" -max_len=65536 "$corpus" 2>&1 | tail -n 3 || status=1
done
exit $status
