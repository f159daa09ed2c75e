#!/usr/bin/env bash
# Memory section: the maximum resident set size and CPU use of every tessera
# command at each scene size, and the growth of the memory from the smallest
# scene to the largest (target: at most 1.5), printed as a markdown section.
# Usage: bench/memory.sh [BUILD]
set -euo pipefail
source "$(dirname "$0")/common.sh"

all_classes=$(seq -s, 1 "$classes")
commands=(samples kmeans isodata mindist maxlik mahalanobis sam parallelepiped svm bpnn sieve clump polygonize stats accuracy)

# run_command NAME DIR: the command NAME on the scene in DIR, timed into DIR/m.NAME.
run_command() {
  local d=$2 out="$2/m.$1"
  case $1 in
  samples) timed "$out" "$tessera" samples "$d/scene.tif" "$d/training.shp" "$d/m-samples.cif" --class-field class ;;
  kmeans | isodata) timed "$out" "$tessera" "$1" "$d/scene.tif" "$d/m-$1.tif" --classes "$classes" --iterations 20 --quiet ;;
  svm) timed "$out" "$tessera" classify "$d/scene.tif" "$d/m-samples.cif" "$d/m-svm.tif" --method svm --kernel rbf --quiet ;;
  sieve) timed "$out" "$tessera" sieve "$d/m-maxlik.tif" "$d/m-sieve.tif" --classes "$all_classes" --threshold 20 --quiet ;;
  clump) timed "$out" "$tessera" clump "$d/m-maxlik.tif" "$d/m-clump.tif" --classes "$all_classes" --quiet ;;
  # The sieved map: the raw map's speckle makes millions of one-pixel polygons.
  polygonize) rm -f "$d"/m-poly.*; timed "$out" "$tessera" polygonize "$d/m-sieve.tif" "$d/m-poly.shp" --classes "$all_classes" --quiet ;;
  stats) timed "$out" "$tessera" stats "$d/m-maxlik.tif" ;;
  accuracy) timed "$out" "$tessera" accuracy "$d/m-maxlik.tif" --reference "$d/truth.tif" --report "$d/m-accuracy.txt" ;;
  *) timed "$out" "$tessera" classify "$d/scene.tif" "$d/m-samples.cif" "$d/m-$1.tif" --method "$1" --quiet ;;
  esac
}

echo "## Memory and CPU use of every command"
echo
echo "Max RSS in MB (CPU use in %, user + system over wall) of each command on each scene; growth: the largest"
echo "scene's max RSS over the smallest's (target ≤ 1.5). GDAL's block cache is tessera's own 16 MiB."
echo
header="| command"
rule="|---"
for n in "${sizes[@]}"; do header+=" | $(scene_label "$n")"; rule+="|---:"; done
echo "$header | growth |"
echo "$rule|---:|"
for n in "${sizes[@]}"; do
  ensure_scene "$n"
  for c in "${commands[@]}"; do
    log "$(scene_label "$n"): memory of $c"
    run_command "$c" "$(scene_dir "$n")" || true
  done
done
first=$(scene_dir "${sizes[0]}")
last=$(scene_dir "${sizes[${#sizes[@]} - 1]}")
for c in "${commands[@]}"; do
  line="| $c"
  for n in "${sizes[@]}"; do
    t="$(scene_dir "$n")/m.$c"
    line+=" | $(mb "$(field "$t" 2)") ($(cpu_percent "$t") %)"
  done
  echo "$line | $(ratio "$(field "$last/m.$c" 2)" "$(field "$first/m.$c" 2)") |"
done
echo
