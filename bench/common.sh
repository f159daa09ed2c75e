# What the benchmark sections share; sourced by bench/run.sh and by each
# section script (bench/unsupervised.sh, bench/supervised.sh), which can
# also be run on their own: `bench/supervised.sh BUILD > section.md`.
#
# A section prints its part of bench/results.md (a heading, notes and one
# table) on stdout and its progress on stderr. Scenes and the GDAL floor are
# shared: the scene of each size is generated once into the work folder and
# reused; the floor is measured by bench/run.sh once per run (or by a section
# run on its own when none has been measured yet).
#
# Environment:
#   BENCH_SIZES="300 600"   scene edges to run (default "1000 4000 10000"); N@F: spread F instead
#   BENCH_NOISE=F           class spread of the scenes (tessera synth --noise; default 6: classes overlap)
#   BENCH_DIR=DIR           work folder (default BUILD/bench-work)
#   BENCH_SECTIONS="..."    sections bench/run.sh runs, in order (default: every section)
#   BENCH_MPI_SIZE=N        scene edge of the MPI section (default 10000)
#   BENCH_FOREST="2000@6"   the scenes of the random forest section (default "1000@6 2000@6")
#   BENCH_HARD="1000@6"     a further scene the supervised sections add (default none)

build=${1:-${BENCH_BUILD:-build}}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tessera="$root/$build/cli/tessera"
work=${BENCH_DIR:-$root/$build/bench-work}
py=/usr/bin/python3 # Debian's python3, where python3-gdal, -numpy and -sklearn live
classes=6
bands=4
seed=1
noise=${BENCH_NOISE:-6}
read -r -a sizes <<<"${BENCH_SIZES:-1000 4000 10000}"
supervised_scenes=("${sizes[@]}")
[ -n "${BENCH_HARD:-}" ] && supervised_scenes+=("$BENCH_HARD")
mkdir -p "$work"
[ -x "$tessera" ] || { echo "bench: $tessera is missing; build first" >&2; exit 1; }

log() { echo "== $*" >&2; }

# timed OUTFILE command...: "seconds max_rss_kb cpu_seconds" into OUTFILE
# (user + system), the command's stdout and stderr into OUTFILE.log.
timed() {
  local out=$1
  shift
  /usr/bin/time -f "%e %M %U %S" -o "$out" "$@" >"$out.log" 2>&1 || {
    echo "failed: $*" >&2
    tail -3 "$out.log" >&2
    return 1
  }
  awk '{printf "%s %s %.2f\n", $1, $2, $3 + $4}' "$out" >"$out.tmp" && mv "$out.tmp" "$out"
}
# CPU use of tessera's last block pass (its labelling pass) in a timed run's log,
# printed when the run had CPL_DEBUG=TESSERA; "-" when there is none.
pass_cpu() { awk '/block pass:/ { v = $(NF - 1) } END { print v == "" ? "-" : v }' "$1.log" 2>/dev/null || echo -; }
# CPU use of a timing file: user + system seconds over wall seconds, in %.
cpu_percent() { awk '{ if ($1 > 0) printf "%.0f", 100 * $3 / $1; else print "-" }' "$1"; }
# The machine's load average over the last minute (others' work makes wall times noisy).
load_now() { awk '{print $1}' /proc/loadavg; }
# field FILE N: the N-th number of a timing file.
field() { awk -v n="$2" '{print $n}' "$1"; }
# Sum of the seconds and largest max RSS of several timing files.
seconds_of() { awk '{s += $1} END {printf "%.2f", s}' "$@"; }
rss_of() { awk '{if ($2 > m) m = $2} END {print m}' "$@"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a != "" && b != "" && a != "-" && b > 0) printf "%.2f", a / b; else print "-" }'; }
mb() { awk -v k="$1" 'BEGIN { if (k == "" || k == "-") print "-"; else printf "%.0f", k / 1024 }'; }

# A scene is named by its edge N (classes spread BENCH_NOISE times as wide as
# tessera synth's default, so they overlap and accuracy and the number of
# support vectors mean something), or N@F for spread F.
scene_size() { echo "${1%@*}"; }
scene_noise() { [[ $1 == *@* ]] && echo "${1#*@}" || echo "$noise"; }
scene_dir() { echo "$work/scene-$(scene_size "$1")-noise$(scene_noise "$1")"; }
scene_label() { [ "$(scene_noise "$1")" = 1 ] && echo "$(scene_size "$1")²" || echo "$(scene_size "$1")² ×$(scene_noise "$1") spread"; }

# The seeded scene of edge N: scene.tif (4-band UInt16, tiled, uncompressed),
# truth.tif, training.shp, checkpoints.csv.
ensure_scene() {
  local dir
  dir=$(scene_dir "$1")
  if [ ! -f "$dir/scene.tif" ]; then
    log "generating the $(scene_label "$1") scene"
    "$tessera" synth "$dir" --size "$(scene_size "$1")" --noise "$(scene_noise "$1")" --bands "$bands" \
      --classes "$classes" --seed "$seed" \
      >"$work/synth-$1.log" 2>&1 || { tail -3 "$work/synth-$1.log" >&2; return 1; }
    gdal_translate -q -co TILED=YES -co BIGTIFF=IF_SAFER "$dir/scene.tif" "$dir/raw.tif" && mv "$dir/raw.tif" "$dir/scene.tif"
  fi
}

# The creation options of tessera's class maps, which the floor writes too.
class_map_options=(-co TILED=YES -co COMPRESS=DEFLATE -co ZLEVEL=1 -co NUM_THREADS=ALL_CPUS)

# The floor: GDAL reading the scene and writing it again with the creation
# options of tessera's class maps (what any classifier reading and writing
# pays at least).
measure_floor() {
  local dir
  dir=$(scene_dir "$1")
  log "$(scene_label "$1"): gdal_translate floor"
  timed "$dir/t.floor" gdal_translate -q "${class_map_options[@]}" "$dir/scene.tif" "$dir/copy.tif"
  rm -f "$dir/copy.tif"
}
ensure_floor() { [ -f "$(scene_dir "$1")/t.floor" ] || measure_floor "$1"; }
# The scene's signatures from its training polygons (samples.cif), made once; its path.
ensure_samples() {
  local dir
  dir=$(scene_dir "$1")
  [ -f "$dir/samples.cif" ] ||
    "$tessera" samples "$dir/scene.tif" "$dir/training.shp" "$dir/samples.cif" --class-field class >/dev/null 2>&1
  echo "$dir/samples.cif"
}
# Training seconds of a learner: its training run's wall time less its predict-only run's.
training_seconds() { awk -v a="$(field "$1" 1)" -v b="$(field "$2" 1)" 'BEGIN { printf "%.2f", (a > b ? a - b : 0) }'; }

# Whether a peer can run; the reason it cannot goes into the section's notes.
have_grass() { command -v grass >/dev/null 2>&1; }
have_otb() { command -v otbcli_TrainImagesClassifier >/dev/null 2>&1; }
have_python_module() { "$py" -c "import $1" >/dev/null 2>&1; }

# grass_run SCENE DBDIR SCRIPT ARGS...: runs SCRIPT inside a GRASS session of
# a new temporary location made from SCENE's coordinate system (under DBDIR,
# removed first). Output goes to DBDIR.log.
grass_run() {
  local scene=$1 db=$2
  shift 2
  rm -rf "$db"
  grass -c "$scene" -e "$db/loc" >"$db.log" 2>&1 &&
    grass "$db/loc/PERMANENT" --exec "$@" >>"$db.log" 2>&1
}

# overall_accuracy CLASSIFIED TRUTH [--classes NAMES]: overall accuracy (%)
# of CLASSIFIED against TRUTH over every pixel, through `tessera accuracy`.
overall_accuracy() {
  local classified=$1 truth=$2
  shift 2
  local base="${classified%.*}-accuracy"
  "$tessera" accuracy "$classified" --reference "$truth" --report "$base.txt" --json "$base.json" "$@" \
    >"$base.log" 2>&1 || { echo "-"; return 0; }
  "$py" -c 'import json, sys
value = json.load(open(sys.argv[1]))["overall_accuracy"]
print("-" if value is None else f"{value:.2f}")' "$base.json"
}

# The class names of a synth scene's truth: Unclassified, Class 1 .. Class K.
class_names() { local names=Unclassified k; for ((k = 1; k <= classes; ++k)); do names+=",Class $k"; done; echo "$names"; }

# Markdown helpers.
machine_line() {
  echo "Machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo); $(date -u +%Y-%m-%d)."
}
