#!/usr/bin/env bash
# Supervised section: tessera's five decision rules against GRASS i.maxlik
# and the GDAL floor on the synth scenes,
# all trained on the scene's own training polygons, printed as a markdown
# section on stdout.
#   floor     gdal_translate of the scene to a tiled, compressed GeoTIFF
#   tessera   tessera samples (the .cif from training.shp), then
#             tessera classify --method mindist / maxlik / mahalanobis / sam / parallelepiped
#   GRASS     v.in.ogr + v.to.rast of training.shp (not timed), i.gensig,
#             i.maxlik, in a temporary location
# Accuracy: overall accuracy against truth.tif over every pixel, through
# `tessera accuracy --reference`.
# Usage: bench/supervised.sh [BUILD]
set -euo pipefail
source "$(dirname "$0")/common.sh"

notes=()
have_grass || notes+=("GRASS GIS is not installed here: its rows are left out.")

echo "## Supervised classification"
echo
echo "Training: the scene's training polygons (\`training.shp\`, field \`class\`), the same for every method:"
echo "\`tessera samples\` builds one signature per class from them; GRASS rasterises them (v.to.rast, not timed)"
echo "and i.gensig computes its signatures. The signature rows are timed apart from the classifiers'."
echo "Accuracy: overall accuracy against the scene's ground truth over every pixel (\`tessera accuracy --reference\`)."
echo "Ratios: classify over floor: the classification pass's wall time over the GDAL floor's (target ≤ 1.5);"
echo "GRASS / tessera: GRASS i.gensig + i.maxlik over tessera samples + classify (target ≥ 3)."
echo "Pass CPU %: CPU use over tessera's labelling pass alone (reading, classifying, writing; target ≥ 180),"
echo "as CPL_DEBUG=TESSERA prints it; CPU % is over the whole command, start-up and finishing included."
for note in "${notes[@]}"; do echo "$note"; done
echo
echo "| scene | method | wall s | CPU s | CPU % | pass CPU % | max RSS MB | classify over floor | GRASS / tessera | overall accuracy % |"
echo "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|"
rules=(mindist maxlik mahalanobis sam parallelepiped)

for n in "${supervised_scenes[@]}"; do
  ensure_scene "$n"
  ensure_floor "$n"
  dir=$(scene_dir "$n")
  truth="$dir/truth.tif"
  samples="$dir/samples.cif"

  log "$(scene_label "$n"): tessera samples"
  timed "$dir/t.samples" "$tessera" samples "$dir/scene.tif" "$dir/training.shp" "$samples" --class-field class
  for method in "${rules[@]}"; do
    log "$(scene_label "$n"): tessera classify --method $method"
    timed "$dir/t.$method" env CPL_DEBUG=TESSERA "$tessera" classify "$dir/scene.tif" "$samples" "$dir/$method.tif" \
      --method "$method" --quiet
  done

  grass_ok=0
  if have_grass; then
    log "$(scene_label "$n"): GRASS i.gensig + i.maxlik"
    if grass_run "$dir/scene.tif" "$dir/grassdb-sup" "$root/bench/grass_maxlik.sh" "$dir/scene.tif" \
      "$dir/training.shp" class "$dir/grass-maxlik.tif" "$dir/t.grass"; then
      grass_ok=1
    else
      echo "GRASS run failed (see $dir/grassdb-sup.log)" >&2
    fi
  fi

  floor=$(field "$dir/t.floor" 1)
  grass=-
  [ $grass_ok = 1 ] && grass=$(seconds_of "$dir/t.grass.gensig" "$dir/t.grass.maxlik")
  samples_s=$(field "$dir/t.samples" 1)
  row() { # name timing-file over-floor GRASS/tessera accuracy
    local seconds cpu percent=-
    seconds=$(field "$2" 1)
    cpu=$(field "$2" 3)
    [ -n "$cpu" ] && percent=$(cpu_percent "$2")
    echo "| $(scene_label "$n") | $1 | $seconds | ${cpu:--} | $percent | $(pass_cpu "$2") | $(mb "$(field "$2" 2)") | $3 | $4 | $5 |"
  }
  row "gdal_translate copy (floor)" "$dir/t.floor" - - -
  row "tessera samples (signatures)" "$dir/t.samples" - - -
  for method in "${rules[@]}"; do
    seconds=$(field "$dir/t.$method" 1)
    total=$(awk -v a="$samples_s" -v b="$seconds" 'BEGIN { printf "%.2f", a + b }')
    row "tessera classify $method" "$dir/t.$method" "$(ratio "$seconds" "$floor")" "$(ratio "$grass" "$total")" \
      "$(overall_accuracy "$dir/$method.tif" "$truth")"
  done
  if [ $grass_ok = 1 ]; then
    # No .acf beside GRASS's output: its class values are the training classes, named here.
    names=Unclassified
    for ((k = 1; k <= classes; ++k)); do names+=",Class $k"; done
    row "GRASS i.gensig (signatures)" "$dir/t.grass.gensig" - - -
    row "GRASS i.maxlik" "$dir/t.grass.maxlik" - - \
      "$(overall_accuracy "$dir/grass-maxlik.tif" "$truth" --classes "$names")"
  fi
done
echo
