#!/usr/bin/env bash
# Benchmarks of Tessera's classifiers against their peers on scenes made by
# `tessera synth`, in one run on the same machine and cores, written to
# bench/results.md: one section per script below, each a table of wall time,
# max RSS, ratios and accuracy. Sizes: 1000² and 4000² (10000² too with
# BENCH_LARGE=1, or any list with BENCH_SIZES="300 600"); see bench/common.sh.
#
# A section is bench/<name>.sh: it sources bench/common.sh and prints its
# markdown on stdout. Adding one is adding its name to the list below.
# Usage: bench/run.sh [BUILD]
set -euo pipefail
source "$(dirname "$0")/common.sh"
read -r -a sections <<<"${BENCH_SECTIONS:-unsupervised supervised learned forest mpi}"
results="$root/bench/results.md"

# The scenes, and the floor every section compares with, measured once here.
for n in "${sizes[@]}"; do
  ensure_scene "$n"
  measure_floor "$n"
done

{
  echo "# Classification benchmarks"
  echo
  machine_line
  echo "Command: \`make bench\`$([ -n "${BENCH_SIZES:-}" ] && echo " with BENCH_SIZES=\"$BENCH_SIZES\"")$([ "${BENCH_LARGE:-0}" = 1 ] && echo " with BENCH_LARGE=1")."
  echo "Scenes: \`tessera synth --size N --bands $bands --classes $classes --seed $seed\`; \"N² ×F spread\" adds"
  echo "\`--noise F\` (class spreads F times as wide, so classes overlap); the supervised sections use it."
  echo "Floor: \`gdal_translate\` of the scene to a tiled, DEFLATE-compressed GeoTIFF (GDAL reading and writing it)."
  echo "Timings: GNU time, wall seconds and maximum resident set size of each command."
  echo
} >"$results.tmp"

for section in "${sections[@]}"; do
  BENCH_BUILD=$build "$root/bench/$section.sh" "$build" >>"$results.tmp"
done
mv "$results.tmp" "$results"
cat "$results"
