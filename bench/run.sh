#!/usr/bin/env bash
# Benchmarks of the unsupervised classifiers against their peers, on scenes
# made by `tessera synth`, in one run on the same machine and cores:
#   floor     gdal_translate of the scene to a tiled, compressed GeoTIFF
#   tessera   tessera kmeans / tessera isodata (6 classes, 20 iterations)
#   GRASS     i.cluster + i.maxlik inside one session (import not timed)
#   sklearn   KMeans(6, n_init=1, max_iter=20) fit + predict over all pixels (read timed)
# Reports wall time, max RSS, ratios and agreement with the ground truth in
# bench/results.md. Sizes: 1000² and 4000²; 10000² too with BENCH_LARGE=1.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
tessera="$root/$build/cli/tessera"
work=${BENCH_DIR:-$root/$build/bench-work}
results="$root/bench/results.md"
py=/usr/bin/python3 # Debian's python3, where python3-gdal and python3-sklearn live
classes=6
iterations=20
sizes=(1000 4000)
[ "${BENCH_LARGE:-0}" = 1 ] && sizes+=(10000)
mkdir -p "$work"

timed() { # timed OUTFILE command...: "seconds max_rss_kb" into OUTFILE
  local out=$1
  shift
  /usr/bin/time -f "%e %M" -o "$out" "$@" >/dev/null 2>"$out.log" || { echo "failed: $*" >&2; tail -3 "$out.log" >&2; return 1; }
}
field() { awk "{print \$$2}" "$1"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
mb() { awk -v k="$1" 'BEGIN { printf "%.0f", k / 1024 }'; }

{
  echo "# Unsupervised classification benchmark"
  echo
  echo "Machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo); $(date -u +%Y-%m-%d)."
  echo "Command: \`make bench\`$([ "${BENCH_LARGE:-0}" = 1 ] && echo " with BENCH_LARGE=1"). Scenes: \`tessera synth --size N --bands 4 --classes $classes --seed 1\`."
  echo "Agreement: share of pixels whose cluster, matched one-to-one to the truth classes, is their class."
  echo "Ratio: the method's wall time over tessera kmeans' (higher is slower than tessera)."
  echo
  echo "| scene | method | wall s | max RSS MB | ratio to tessera kmeans | agreement % |"
  echo "|---|---|---:|---:|---:|---:|"
} > "$results.tmp"

for n in "${sizes[@]}"; do
  dir="$work/scene-$n"
  if [ ! -f "$dir/scene.tif" ]; then
    echo "== generating the ${n}² scene"
    "$tessera" synth "$dir" --size "$n" --bands 4 --classes "$classes" --seed 1 >/dev/null
  fi
  truth="$dir/truth.tif"
  echo "== ${n}²: gdal_translate floor"
  timed "$dir/t.floor" gdal_translate -q -co TILED=YES -co COMPRESS=DEFLATE "$dir/scene.tif" "$dir/copy.tif"
  echo "== ${n}²: tessera kmeans"
  timed "$dir/t.kmeans" "$tessera" kmeans "$dir/scene.tif" "$dir/kmeans.tif" --classes "$classes" --iterations "$iterations"
  echo "== ${n}²: tessera isodata"
  timed "$dir/t.isodata" "$tessera" isodata "$dir/scene.tif" "$dir/isodata.tif" --classes "$classes" --iterations "$iterations"
  echo "== ${n}²: GRASS i.cluster + i.maxlik"
  grass_ok=1
  rm -rf "$dir/grassdb"
  if ! grass -c "$dir/scene.tif" -e "$dir/grassdb/loc" >/dev/null 2>&1 ||
     ! grass "$dir/grassdb/loc/PERMANENT" --exec "$root/bench/grass_cluster.sh" "$dir/scene.tif" "$dir/grass.tif" \
        "$classes" "$iterations" "$dir/t.grass" >"$dir/grass.log" 2>&1; then
    echo "GRASS run failed (see $dir/grass.log)" >&2
    grass_ok=0
  fi
  echo "== ${n}²: scikit-learn KMeans"
  sk_ok=1
  timed "$dir/t.sklearn" "$py" "$root/bench/sklearn_kmeans.py" "$dir/scene.tif" "$dir/sklearn.tif" "$classes" "$iterations" || sk_ok=0

  base=$(field "$dir/t.kmeans" 1)
  row() { # name seconds rss_kb output
    local agreement="-"
    [ -n "$4" ] && agreement=$("$py" "$root/bench/agreement.py" "$truth" "$4")
    echo "| ${n}² | $1 | $2 | $(mb "$3") | $(ratio "$2" "$base") | $agreement |" >> "$results.tmp"
  }
  row "gdal_translate copy (floor)" "$(field "$dir/t.floor" 1)" "$(field "$dir/t.floor" 2)" ""
  row "tessera kmeans" "$base" "$(field "$dir/t.kmeans" 2)" "$dir/kmeans.tif"
  row "tessera isodata" "$(field "$dir/t.isodata" 1)" "$(field "$dir/t.isodata" 2)" "$dir/isodata.tif"
  if [ $grass_ok = 1 ]; then
    gs=$(awk '{s += $1} END {printf "%.2f", s}' "$dir/t.grass.cluster" "$dir/t.grass.maxlik")
    grss=$(awk '{if ($2 > m) m = $2} END {print m}' "$dir/t.grass.cluster" "$dir/t.grass.maxlik")
    row "GRASS i.cluster + i.maxlik" "$gs" "$grss" "$dir/grass.tif"
  fi
  [ $sk_ok = 1 ] && row "scikit-learn KMeans fit + predict" "$(field "$dir/t.sklearn" 1)" "$(field "$dir/t.sklearn" 2)" "$dir/sklearn.tif"
  rm -f "$dir/copy.tif"
done
mv "$results.tmp" "$results"
cat "$results"
