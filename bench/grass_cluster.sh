#!/usr/bin/env bash
# GRASS GIS peer, run inside a GRASS session (grass --exec): imports the scene
# (not timed), then times i.cluster + i.maxlik with GNU time, and exports the
# result (not timed). Arguments: SCENE OUTPUT CLASSES ITERATIONS TIMINGS_FILE
set -euo pipefail
scene=$1 output=$2 classes=$3 iterations=$4 timings=$5
r.in.gdal -o input="$scene" output=scene --quiet --overwrite
g.region raster=scene.1
bands=$(g.list type=raster pattern='scene.*' separator=comma)
i.group group=g subgroup=s input="$bands" --quiet
/usr/bin/time -f "%e %M" -o "$timings.cluster" \
  i.cluster group=g subgroup=s signaturefile=sig classes="$classes" iterations="$iterations" --quiet --overwrite
/usr/bin/time -f "%e %M" -o "$timings.maxlik" \
  i.maxlik group=g subgroup=s signaturefile=sig output=classes --quiet --overwrite
r.out.gdal input=classes output="$output" format=GTiff createopt="TILED=YES,COMPRESS=DEFLATE" --quiet --overwrite
