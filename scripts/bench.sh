#!/usr/bin/env bash
# `make bench`: runs every benchmark binary the build produced. Benchmarks
# report ratios against a baseline measured in the same run; they never gate.
set -euo pipefail
build=${1:-build}
shopt -s nullglob
benches=("$build"/bench/tessera_bench_*)
if [ ${#benches[@]} -eq 0 ]; then
  echo "No benchmarks are built yet."
  exit 0
fi
for b in "${benches[@]}"; do
  echo "== $(basename "$b")"
  "$b"
done
