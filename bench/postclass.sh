#!/usr/bin/env bash
# Post-classification section: tessera sieve, clump and polygonize against
# GDAL's gdal_sieve.py and gdal_polygonize.py on the maximum likelihood map
# of each synth scene (classified here when the supervised section has not),
# printed as a markdown section on stdout.
#   sieve      tessera sieve --threshold 20 (every class, 4-connected) against
#              gdal_sieve.py -st 20 -4 (regions under 20 pixels merged away)
#   clump      tessera clump (3 × 3 element, every class) against the same gdal_sieve.py run
#   polygonize tessera polygonize (every class) against gdal_polygonize.py, both to a shapefile,
#              on the sieved map (the speckle of the raw map gives millions of one-pixel polygons)
# Usage: bench/postclass.sh [BUILD]
set -euo pipefail
source "$(dirname "$0")/common.sh"

all_classes=$(seq -s, 1 "$classes")
echo "## Sieve, clump and polygonize"
echo
echo "Input: tessera's maximum likelihood map of each scene. gdal_sieve.py writes an uncompressed GeoTIFF"
echo "(it takes no creation options); tessera its default class map. Ratio: the GDAL tool's wall time over"
echo "tessera's (targets: sieve and clump ≥ 1.5 at 4000² and 10000², polygonize ≥ 1)."
echo
echo "| scene | work | tessera s | CPU % | max RSS MB | GDAL s | max RSS MB | GDAL / tessera |"
echo "|---|---|---:|---:|---:|---:|---:|---:|"
for n in "${sizes[@]}"; do
  ensure_scene "$n"
  dir=$(scene_dir "$n")
  map="$dir/maxlik.tif"
  if [ ! -f "$map" ]; then
    log "$(scene_label "$n"): the maximum likelihood map"
    "$tessera" classify "$dir/scene.tif" "$(ensure_samples "$n")" "$map" --method maxlik --quiet >/dev/null
  fi
  log "$(scene_label "$n"): sieve, clump, polygonize"
  timed "$dir/t.sieve" "$tessera" sieve "$map" "$dir/sieve.tif" --classes "$all_classes" --threshold 20 --quiet
  timed "$dir/t.clump" "$tessera" clump "$map" "$dir/clump.tif" --classes "$all_classes" --element 111111111 --quiet
  rm -f "$dir"/poly.* "$dir"/gdalpoly.*
  timed "$dir/t.polygonize" "$tessera" polygonize "$dir/sieve.tif" "$dir/poly.shp" --classes "$all_classes" --quiet
  rm -f "$dir/gdalsieve.tif"
  timed "$dir/t.gdalsieve" gdal_sieve.py -q -st 20 -4 "$map" "$dir/gdalsieve.tif"
  timed "$dir/t.gdalpoly" gdal_polygonize.py -q "$dir/sieve.tif" -f "ESRI Shapefile" "$dir/gdalpoly.shp"
  row() { # work tessera-timing gdal-timing
    echo "| $(scene_label "$n") | $1 | $(field "$2" 1) | $(cpu_percent "$2") | $(mb "$(field "$2" 2)") |" \
      "$(field "$3" 1) | $(mb "$(field "$3" 2)") | $(ratio "$(field "$3" 1)" "$(field "$2" 1)") |"
  }
  row "sieve at 20" "$dir/t.sieve" "$dir/t.gdalsieve"
  row "clump 3 × 3" "$dir/t.clump" "$dir/t.gdalsieve"
  row "polygonize the sieved map" "$dir/t.polygonize" "$dir/t.gdalpoly"
done
echo
