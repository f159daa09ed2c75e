#!/usr/bin/env bash
# Random forest section: tessera's random forest (OpenCV RTrees) against
# scikit-learn's RandomForestClassifier and OTB's random forest (also OpenCV
# RTrees) on scenes whose classes overlap, all with the same number of trees
# and the scene's training polygons (at most 2000 pixels per class).
#   tessera   tessera classify --method rf (train + predict, the model
#             written), then again with --model (predict only)
#   sklearn   RandomForestClassifier, all cores; fit and predict() timed
#             inside the script (reading and writing not timed)
#   OTB       TrainImagesClassifier -classifier rf, then ImageClassifier
# Scenes: BENCH_FOREST (default 1000@6 and 2000@6, overlapping classes).
# Usage: bench/forest.sh [BUILD]
set -euo pipefail
source "$(dirname "$0")/common.sh"

read -r -a forest_scenes <<<"${BENCH_FOREST:-1000@6 2000@6}"
cap=2000
trees=${BENCH_TREES:-100}
depth=25
notes=()
have_otb || notes+=("Orfeo ToolBox is not installed here: its rows are left out.")
have_python_module sklearn || notes+=("scikit-learn is not installed here: its rows are left out.")

echo "## Random forest"
echo
echo "$trees trees; tessera and OTB: depth at most $depth, nodes of 2 pixels or more split; scikit-learn: its defaults."
echo "Training: the pixels under the scene's training polygons, at most $cap per class. Train s: training alone"
echo "(tessera: the training run less the predict-only run). Predict s: labelling every pixel (tessera and OTB:"
echo "the whole command, reading and writing included; scikit-learn: predict() alone). Ratio: predict s over"
echo "tessera's (higher is slower). Accuracy: overall accuracy against the scene's truth, every pixel."
for note in "${notes[@]}"; do echo "$note"; done
echo
echo "| scene | method | train s | predict s | max RSS MB | predict ratio to tessera | overall accuracy % |"
echo "|---|---|---:|---:|---:|---:|---:|"

for n in "${forest_scenes[@]}"; do
  ensure_scene "$n"
  dir=$(scene_dir "$n")
  truth="$dir/truth.tif"
  samples=$(ensure_samples "$n")
  row() { # method train predict rss ratio-base accuracy
    echo "| $(scene_label "$n") | $1 | $2 | $3 | $(mb "$4") | $(ratio "$3" "$5") | $6 |"
  }

  log "$(scene_label "$n"): tessera rf"
  timed "$dir/t.rf.all" "$tessera" classify "$dir/scene.tif" "$samples" "$dir/rf.tif" --method rf --trees "$trees" \
    --max-depth "$depth" --quiet
  timed "$dir/t.rf.predict" "$tessera" classify "$dir/scene.tif" "$samples" "$dir/rf-p.tif" --method rf \
    --model "$dir/rf.rf" --quiet
  predict=$(field "$dir/t.rf.predict" 1)
  train=$(training_seconds "$dir/t.rf.all" "$dir/t.rf.predict")
  row "tessera random forest" "$train" "$predict" "$(rss_of "$dir/t.rf.all" "$dir/t.rf.predict")" "$predict" \
    "$(overall_accuracy "$dir/rf-p.tif" "$truth")"
  if have_python_module sklearn; then
    log "$(scene_label "$n"): scikit-learn RandomForestClassifier"
    timed "$dir/t.skrf" "$py" "$root/bench/sklearn_forest.py" "$dir/scene.tif" "$dir/training.shp" class \
      "$dir/sklearn-rf.tif" "$dir/t.skrf.split" "$trees" "$cap"
    row "scikit-learn RandomForestClassifier" "$(field "$dir/t.skrf.split" 1)" "$(field "$dir/t.skrf.split" 2)" \
      "$(field "$dir/t.skrf" 2)" "$predict" "$(overall_accuracy "$dir/sklearn-rf.tif" "$truth" --classes "$(class_names)")"
  fi
  if have_otb; then
    log "$(scene_label "$n"): OTB random forest"
    timed "$dir/t.otbrf.train" otbcli_TrainImagesClassifier -io.il "$dir/scene.tif" -io.vd "$dir/training.shp" \
      -sample.vfn class -sample.mt "$cap" -sample.mv 0 -sample.vtr 0 -sample.bm 0 -classifier rf \
      -classifier.rf.nbtrees "$trees" -classifier.rf.max "$depth" -classifier.rf.min 2 -classifier.rf.acc 0 -rand 1 \
      -io.out "$dir/otb-rf.model"
    timed "$dir/t.otbrf.predict" otbcli_ImageClassifier -in "$dir/scene.tif" -model "$dir/otb-rf.model" \
      -out "$dir/otb-rf.tif" uint8
    row "OTB TrainImagesClassifier + ImageClassifier, rf" "$(field "$dir/t.otbrf.train" 1)" \
      "$(field "$dir/t.otbrf.predict" 1)" "$(rss_of "$dir/t.otbrf.train" "$dir/t.otbrf.predict")" "$predict" \
      "$(overall_accuracy "$dir/otb-rf.tif" "$truth" --classes "$(class_names)")"
  fi
done
echo
