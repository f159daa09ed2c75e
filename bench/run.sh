#!/usr/bin/env bash
# Benchmarks of Tessera's classifiers against their peers on scenes made by
# `tessera synth`, in one run on the same machine and cores, written to
# bench/results.md: one section per script below, each a table of wall time,
# max RSS, CPU use, ratios and accuracy. Sizes: 1000², 4000² and 10000² (or any
# list with BENCH_SIZES="300 600"); see bench/common.sh.
#
# A section is bench/<name>.sh: it sources bench/common.sh and prints its
# markdown on stdout. Adding one is adding its name to the list below.
# Usage: bench/run.sh [BUILD]
set -euo pipefail
source "$(dirname "$0")/common.sh"
read -r -a sections <<<"${BENCH_SECTIONS:-unsupervised supervised learned forest postclass memory mpi demo}"
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
  echo "Command: \`make bench\`$([ -n "${BENCH_SIZES:-}" ] && echo " with BENCH_SIZES=\"$BENCH_SIZES\"")$([ -n "${BENCH_SECTIONS:-}" ] && echo " with BENCH_SECTIONS=\"$BENCH_SECTIONS\"")."
  echo "Load average at the start: $(load_now) (others' work on the machine makes wall times noisy; CPU seconds less so)."
  echo "Scenes: \`tessera synth --size N --bands $bands --classes $classes --seed $seed --noise F\`, \"N² ×F spread\""
  echo "(class spreads F times as wide as by default, so classes overlap), rewritten tiled and uncompressed."
  echo "Floor: \`gdal_translate\` of the scene with the creation options of tessera's class maps"
  echo "(${class_map_options[*]})."
  echo "Timings: GNU time, wall seconds, maximum resident set size and CPU use (user + system over wall) of each command."
  echo
} >"$results.tmp"

for section in "${sections[@]}"; do
  BENCH_BUILD=$build "$root/bench/$section.sh" "$build" >>"$results.tmp"
done
mv "$results.tmp" "$results"
cat "$results"
