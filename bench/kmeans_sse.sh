#!/usr/bin/env bash
# K-Means fit quality: tessera kmeans against scikit-learn's KMeans(n_init=10)
# on twelve seeded 128² scenes (4 bands, 5 classes), as a markdown table of
# within-cluster sums of squares. Usage: bench/kmeans_sse.sh [BUILD] [SEEDS...]
# Other scenes: CLASSES=8 SCENE="--size 300 --bands 6 --noise 2" bench/kmeans_sse.sh
set -euo pipefail
build=${1:-build}
shift || true
seeds=("$@")
[ ${#seeds[@]} -gt 0 ] || seeds=(1 2 3 4 5 6 7 8 9 10 11 12)
classes=${CLASSES:-5}
read -r -a scene <<<"${SCENE:---size 128 --bands 4}"
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tessera="$root/$build/cli/tessera"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "| seed | tessera SSE | scikit-learn SSE | ratio |"
echo "|---:|---:|---:|---:|"
for s in "${seeds[@]}"; do
  "$tessera" synth "$work/$s" "${scene[@]}" --classes "$classes" --polygons-per-class 2 --seed "$s" >/dev/null 2>&1
  "$tessera" kmeans "$work/$s/scene.tif" "$work/$s/k.tif" --classes "$classes" --iterations 20 --quiet >/dev/null
  read -r ours theirs ratio < <(/usr/bin/python3 "$root/bench/kmeans_sse.py" "$work/$s/scene.tif" "$work/$s/k.tif" "$classes")
  echo "| $s | $ours | $theirs | $ratio |"
done
