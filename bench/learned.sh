#!/usr/bin/env bash
# Learners section: tessera's SVM and BP network against their peers on the
# synth scenes, trained on the scene's training polygons, printed as a
# markdown section on stdout.
#   tessera SVM  tessera classify --method svm (train + predict, the model
#                written), then again with --model (predict only)
#   plain libsvm tessera-svm-plain: libsvm's svm_predict pixel by pixel on
#                the same model, one thread (also the agreement reference)
#   svm-train    libsvm's own trainer (Debian libsvm-tools) on the same
#                training pixels, standardised, same kernel, C and gamma:
#                training time and support vectors only
#   OTB          otbcli_ComputeImagesStatistics + TrainImagesClassifier
#                (libsvm, same kernel, C and gamma, up to 2000 samples per
#                class, not bounded by the smallest: the same training pixels),
#                then ImageClassifier
#   tessera BP   tessera classify --method bpnn (defaults, the network written),
#                then again with --model (predict only)
#   sklearn      MLPClassifier, one hidden layer of the same size, SGD at
#                the same rate, same training pixels; fit and predict timed
#                inside the script (reading not timed)
# Usage: bench/learned.sh [BUILD]
set -euo pipefail
source "$(dirname "$0")/common.sh"

plain="$root/$build/bench/tessera-svm-plain"
cap=2000                                  # training pixels per class, as the learners keep
hidden=$(( 2 * (bands + classes) ))       # the network's hidden layer for these scenes
gamma=0.143
rate=0.01
notes=()
have_otb || notes+=("Orfeo ToolBox is not installed here: its rows are left out.")
have_python_module sklearn || notes+=("scikit-learn is not installed here: its rows are left out.")
command -v svm-train >/dev/null 2>&1 || notes+=("libsvm's svm-train (libsvm-tools) is not installed here: its rows are left out.")
support_vectors() { awk '$1 == "total_sv" { print $2; found = 1 } END { if (!found) print "-" }' "$1" 2>/dev/null || echo -; }

echo "## SVM and BP network"
echo
echo "Training: the pixels under the scene's training polygons, at most $cap per class for every method."
echo "SVM: C-SVC, C = 1, gamma $gamma; BP: one hidden layer of $hidden neurons, learning rate $rate."
echo "Train s: training alone (tessera: the training run less the predict-only run). Predict s: labelling"
echo "every pixel (tessera, OTB and plain libsvm: the whole command, reading and writing included;"
echo "scikit-learn: predict() alone). Ratio: predict s over tessera's of the same method (higher is slower)."
echo "Agreement: share of pixels labelled as libsvm's svm_predict labels them with the same model."
echo "SV: the trained model's support vectors (total_sv of the libsvm model each writes)."
for note in "${notes[@]}"; do echo "$note"; done
echo
echo "| scene | method | train s | predict s | max RSS MB | predict ratio to tessera | overall accuracy % | agreement with svm_predict % | SV |"
echo "|---|---|---:|---:|---:|---:|---:|---:|---:|"

for n in "${supervised_scenes[@]}"; do
  ensure_scene "$n"
  dir=$(scene_dir "$n")
  truth="$dir/truth.tif"
  samples=$(ensure_samples "$n")
  row() { # method train predict rss ratio-base accuracy agreement [support-vectors]
    echo "| $(scene_label "$n") | $1 | $2 | $3 | $(mb "$4") | $(ratio "$3" "$5") | $6 | $7 | ${8:--} |"
  }

  for kernel in linear rbf; do
    log "$(scene_label "$n"): tessera svm $kernel"
    out="$dir/svm-$kernel"
    timed "$dir/t.svm-$kernel.all" "$tessera" classify "$dir/scene.tif" "$samples" "$out.tif" --method svm \
      --kernel "$kernel" --gamma "$gamma" --quiet
    timed "$dir/t.svm-$kernel.predict" "$tessera" classify "$dir/scene.tif" "$samples" "$out-p.tif" --method svm \
      --model "$out.svm" --quiet
    predict=$(field "$dir/t.svm-$kernel.predict" 1)
    train=$(training_seconds "$dir/t.svm-$kernel.all" "$dir/t.svm-$kernel.predict")
    log "$(scene_label "$n"): libsvm svm_predict pixel by pixel ($kernel)"
    timed "$dir/t.plain-$kernel" "$plain" "$out.svm" "$dir/scene.tif" "$dir/plain-$kernel.tif"
    agreement=$("$py" "$root/bench/label_agreement.py" "$out-p.tif" "$dir/plain-$kernel.tif")
    row "tessera SVM $kernel" "$train" "$predict" "$(rss_of "$dir/t.svm-$kernel.all" "$dir/t.svm-$kernel.predict")" \
      "$predict" "$(overall_accuracy "$out-p.tif" "$truth")" "$agreement" "$(support_vectors "$out.svm")"
    plainSeconds=$(field "$dir/t.plain-$kernel" 1)
    row "libsvm svm_predict per pixel, $kernel" - "$plainSeconds" "$(field "$dir/t.plain-$kernel" 2)" "$predict" \
      "$(overall_accuracy "$dir/plain-$kernel.tif" "$truth" --classes "$(class_names)")" 100
    if command -v svm-train >/dev/null 2>&1; then
      log "$(scene_label "$n"): libsvm svm-train ($kernel)"
      [ -f "$dir/svm-train.data" ] || "$py" "$root/bench/svm_train_data.py" "$dir/scene.tif" "$dir/training.shp" class \
        "$cap" "$dir/svm-train.data"
      timed "$dir/t.svmtrain-$kernel" svm-train -q -s 0 -t "$([ "$kernel" = linear ] && echo 0 || echo 2)" -c 1 \
        -g "$gamma" "$dir/svm-train.data" "$dir/svm-train-$kernel.model"
      row "libsvm svm-train, $kernel" "$(field "$dir/t.svmtrain-$kernel" 1)" - "$(field "$dir/t.svmtrain-$kernel" 2)" \
        "$predict" - - "$(support_vectors "$dir/svm-train-$kernel.model")"
    fi
    if have_otb; then
      log "$(scene_label "$n"): OTB libsvm $kernel"
      timed "$dir/t.otb-$kernel.stats" otbcli_ComputeImagesStatistics -il "$dir/scene.tif" -out.xml "$dir/otb-stats.xml"
      timed "$dir/t.otb-$kernel.train" otbcli_TrainImagesClassifier -io.il "$dir/scene.tif" \
        -io.vd "$dir/training.shp" -io.imstat "$dir/otb-stats.xml" -sample.vfn class -sample.mt "$cap" \
        -sample.mv 0 -sample.vtr 0 -sample.bm 0 -classifier libsvm -classifier.libsvm.k "$kernel" -classifier.libsvm.m csvc \
        -classifier.libsvm.c 1 -classifier.libsvm.gamma "$gamma" -classifier.libsvm.opt false -rand 1 \
        -io.out "$dir/otb-$kernel.model"
      timed "$dir/t.otb-$kernel.predict" otbcli_ImageClassifier -in "$dir/scene.tif" -imstat "$dir/otb-stats.xml" \
        -model "$dir/otb-$kernel.model" -out "$dir/otb-$kernel.tif" uint8
      row "OTB TrainImagesClassifier + ImageClassifier, $kernel" \
        "$(seconds_of "$dir/t.otb-$kernel.stats" "$dir/t.otb-$kernel.train")" "$(field "$dir/t.otb-$kernel.predict" 1)" \
        "$(rss_of "$dir/t.otb-$kernel.train" "$dir/t.otb-$kernel.predict")" "$predict" \
        "$(overall_accuracy "$dir/otb-$kernel.tif" "$truth" --classes "$(class_names)")" - \
        "$(support_vectors "$dir/otb-$kernel.model")"
    fi
  done

  log "$(scene_label "$n"): tessera bpnn"
  timed "$dir/t.bpnn" "$tessera" classify "$dir/scene.tif" "$samples" "$dir/bpnn.tif" --method bpnn --rate "$rate" --quiet
  timed "$dir/t.bpnn.predict" "$tessera" classify "$dir/scene.tif" "$samples" "$dir/bpnn-p.tif" --method bpnn \
    --model "$dir/bpnn.bpnn" --quiet
  bpSeconds=$(field "$dir/t.bpnn.predict" 1)
  row "tessera BP network" "$(training_seconds "$dir/t.bpnn" "$dir/t.bpnn.predict")" "$bpSeconds" \
    "$(rss_of "$dir/t.bpnn" "$dir/t.bpnn.predict")" "$bpSeconds" "$(overall_accuracy "$dir/bpnn-p.tif" "$truth")" -
  if have_python_module sklearn; then
    log "$(scene_label "$n"): scikit-learn MLPClassifier"
    timed "$dir/t.mlp" "$py" "$root/bench/sklearn_mlp.py" "$dir/scene.tif" "$dir/training.shp" class \
      "$dir/sklearn-mlp.tif" "$dir/t.mlp.split" "$hidden" "$rate" "$cap"
    row "scikit-learn MLPClassifier (SGD)" "$(field "$dir/t.mlp.split" 1)" "$(field "$dir/t.mlp.split" 2)" \
      "$(field "$dir/t.mlp" 2)" "$bpSeconds" "$(overall_accuracy "$dir/sklearn-mlp.tif" "$truth" --classes "$(class_names)")" -
  fi
done
echo
