#!/usr/bin/env bash
# Demo section: the whole `tessera demo` pipeline on one scene (the largest
# size, or BENCH_DEMO_SIZE), each step's wall time and the process's peak
# memory after it, printed as a markdown section on stdout.
# Usage: bench/demo.sh [BUILD]
set -euo pipefail
source "$(dirname "$0")/common.sh"

size=${BENCH_DEMO_SIZE:-$(scene_size "${sizes[${#sizes[@]} - 1]}")}
dir="$work/demo-$size"
rm -rf "$dir"
log "${size}²: tessera demo"
timed "$dir.time" "$tessera" demo "$dir" --size "$size"

echo "## The whole pipeline: tessera demo --size $size"
echo
echo "Each step runs in the one demo process: its wall time and the process's peak resident memory after it."
echo "Whole run: $(field "$dir.time" 1) s wall, $(field "$dir.time" 3) s CPU, max RSS $(mb "$(field "$dir.time" 2)") MB."
echo
echo "| step | wall s | peak RSS so far MB |"
echo "|---|---:|---:|"
sed -n 's/^  [+!] \(.*\) (\([0-9.]*\) s, peak memory so far \([0-9]*\) MB).*$/| \1 | \2 | \3 |/p' "$dir.time.log"
echo
