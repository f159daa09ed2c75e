#!/usr/bin/env bash
# GRASS GIS supervised peer, run inside a GRASS session (grass --exec):
# imports the scene and the training polygons and rasterises the polygons by
# their class field (none of it timed), then times i.gensig (signatures from
# the training raster) and i.maxlik with GNU time, and exports the classes
# (not timed). Arguments: SCENE POLYGONS CLASS_FIELD OUTPUT TIMINGS_FILE
set -euo pipefail
scene=$1 polygons=$2 field=$3 output=$4 timings=$5
r.in.gdal -o input="$scene" output=scene --quiet --overwrite
g.region raster=scene.1
bands=$(g.list type=raster pattern='scene.*' separator=comma)
i.group group=g subgroup=s input="$bands" --quiet
# The polygons carry the scene's coordinate system; -o skips comparing its
# spelling with the location's.
v.in.ogr -o input="$polygons" output=training --quiet --overwrite
v.to.rast input=training type=area use=attr attribute_column="$field" output=training --quiet --overwrite
/usr/bin/time -f "%e %M" -o "$timings.gensig" \
  i.gensig trainingmap=training group=g subgroup=s signaturefile=sig --quiet --overwrite
/usr/bin/time -f "%e %M" -o "$timings.maxlik" \
  i.maxlik group=g subgroup=s signaturefile=sig output=classes --quiet --overwrite
r.out.gdal input=classes output="$output" format=GTiff createopt="TILED=YES,COMPRESS=DEFLATE" \
  --quiet --overwrite
