#!/usr/bin/env bash
# Unsupervised section: tessera kmeans / isodata against their peers on the
# synth scenes, printed as a markdown section on stdout.
#   floor     gdal_translate of the scene to a tiled, compressed GeoTIFF
#   tessera   tessera kmeans / tessera isodata (6 classes, 20 iterations)
#   GRASS     i.cluster + i.maxlik inside one session (import not timed)
#   sklearn   KMeans(6, n_init=1, max_iter=20) fit + predict over all pixels (read timed)
# Usage: bench/unsupervised.sh [BUILD]
set -euo pipefail
source "$(dirname "$0")/common.sh"
iterations=20

notes=()
have_grass || notes+=("GRASS GIS is not installed here: its rows are left out.")
have_python_module sklearn || notes+=("scikit-learn is not installed here: its rows are left out.")
notes+=("scikit-learn KMeans runs up to ${BENCH_SKLEARN_MAX:-4000}² (it holds every pixel in memory, several copies).")

echo "## Unsupervised classification"
echo
echo "Agreement: share of pixels whose cluster, matched one-to-one to the truth classes, is their class."
echo "Ratio: the method's wall time over tessera kmeans' (higher is slower than tessera)."
echo "Pass CPU %: CPU use over tessera's labelling pass alone (CPL_DEBUG=TESSERA prints it)."
for note in "${notes[@]}"; do echo "$note"; done
echo
echo "| scene | method | wall s | CPU s | CPU % | pass CPU % | max RSS MB | ratio to tessera kmeans | agreement % |"
echo "|---|---|---:|---:|---:|---:|---:|---:|---:|"
targets=()

for n in "${sizes[@]}"; do
  ensure_scene "$n"
  ensure_floor "$n"
  dir=$(scene_dir "$n")
  truth="$dir/truth.tif"
  log "$(scene_label "$n"): tessera kmeans"
  timed "$dir/t.kmeans" env CPL_DEBUG=TESSERA "$tessera" kmeans "$dir/scene.tif" "$dir/kmeans.tif" --classes "$classes" --iterations "$iterations"
  log "$(scene_label "$n"): tessera isodata"
  timed "$dir/t.isodata" env CPL_DEBUG=TESSERA "$tessera" isodata "$dir/scene.tif" "$dir/isodata.tif" --classes "$classes" --iterations "$iterations"
  grass_ok=0
  if have_grass; then
    log "$(scene_label "$n"): GRASS i.cluster + i.maxlik"
    if grass_run "$dir/scene.tif" "$dir/grassdb" "$root/bench/grass_cluster.sh" "$dir/scene.tif" "$dir/grass.tif" \
      "$classes" "$iterations" "$dir/t.grass"; then
      grass_ok=1
    else
      echo "GRASS run failed (see $dir/grassdb.log)" >&2
    fi
  fi
  sk_ok=0
  # scikit-learn holds every pixel in memory as doubles, several copies: left out above 4000².
  if have_python_module sklearn && [ "$(scene_size "$n")" -le "${BENCH_SKLEARN_MAX:-4000}" ]; then
    log "$(scene_label "$n"): scikit-learn KMeans"
    timed "$dir/t.sklearn" "$py" "$root/bench/sklearn_kmeans.py" "$dir/scene.tif" "$dir/sklearn.tif" "$classes" \
      "$iterations" && sk_ok=1
  fi

  sse=-
  if [ $sk_ok = 1 ]; then
    log "$(scene_label "$n"): K-Means SSE against scikit-learn KMeans(n_init=10), not timed"
    sse=$("$py" "$root/bench/kmeans_sse.py" "$dir/scene.tif" "$dir/kmeans.tif" "$classes" | awk '{ print $3 }')
  fi

  base=$(field "$dir/t.kmeans" 1)
  row() { # name seconds rss_kb output [cpu_seconds] [pass_cpu_percent]
    local agreement="-" cpu=${5:--} percent=- pass=${6:--}
    [ -n "$4" ] && agreement=$("$py" "$root/bench/agreement.py" "$truth" "$4")
    [ "$cpu" != - ] && percent=$(awk -v c="$cpu" -v w="$2" 'BEGIN { if (w > 0) printf "%.0f", 100 * c / w; else print "-" }')
    echo "| $(scene_label "$n") | $1 | $2 | $cpu | $percent | $pass | $(mb "$3") | $(ratio "$2" "$base") | $agreement |"
  }
  timing_row() { row "$1" "$(field "$2" 1)" "$(field "$2" 2)" "$3" "$(field "$2" 3)" "$(pass_cpu "$2")"; }
  timing_row "gdal_translate copy (floor)" "$dir/t.floor" ""
  timing_row "tessera kmeans" "$dir/t.kmeans" "$dir/kmeans.tif"
  timing_row "tessera isodata" "$dir/t.isodata" "$dir/isodata.tif"
  grass=-
  if [ $grass_ok = 1 ]; then
    grass=$(seconds_of "$dir/t.grass.cluster" "$dir/t.grass.maxlik")
    row "GRASS i.cluster + i.maxlik" "$grass" "$(rss_of "$dir/t.grass.cluster" "$dir/t.grass.maxlik")" "$dir/grass.tif"
  fi
  if [ $sk_ok = 1 ]; then
    timing_row "scikit-learn KMeans fit + predict" "$dir/t.sklearn" "$dir/sklearn.tif"
  fi
  targets+=("| $(scene_label "$n") | $(ratio "$grass" "$base") | $(ratio "$grass" "$(field "$dir/t.isodata" 1)") | $sse | $(load_now) |")
done
echo
echo "Against GRASS i.cluster + i.maxlik (import not timed): its wall time over tessera's; targets K-Means ≥ 3, ISODATA ≥ 2."
echo "SSE: tessera kmeans' within-cluster sum of squares over scikit-learn KMeans(n_init=10)'s on every pixel"
echo "(target ≤ 1.02; where scikit-learn runs)."
echo
echo "| scene | GRASS / tessera kmeans | GRASS / tessera isodata | SSE over scikit-learn's | load average |"
echo "|---|---:|---:|---:|---:|"
for t in "${targets[@]}"; do echo "$t"; done
echo
