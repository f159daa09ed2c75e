#!/usr/bin/env bash
# MPI section: the same tessera commands on 1 and 2 ranks under mpirun, each
# rank bound to one core (--bind-to core), on one large synth scene. Prints the
# throughput, the speed-up over one rank (ideal: the number of ranks), the time
# the ranks spent in collective steps (the slowest rank's, waiting included) and
# whether the labels equal the one-rank run's.
#   BENCH_MPI_SIZE=N   scene edge (default 10000)
# Usage: bench/mpi.sh [BUILD]
set -euo pipefail
source "$(dirname "$0")/common.sh"
n=${BENCH_MPI_SIZE:-10000}
mpirun=(mpirun -q --oversubscribe --bind-to core)
[ "$(id -u)" -eq 0 ] && mpirun+=(--allow-run-as-root)

echo "## Across processes (MPI)"
echo
if ! command -v mpirun >/dev/null 2>&1 || ! ldd "$tessera" | grep -q libmpi; then
  echo "tessera was built without OpenMPI: section left out."
  echo
  exit 0
fi
ensure_scene "$n"
dir=$(scene_dir "$n")
[ -f "$dir/samples.cif" ] ||
  "$tessera" samples "$dir/scene.tif" "$dir/training.shp" --class-field class "$dir/samples.cif" >/dev/null
pixels=$((n * n))

echo "Scene: ${n}², $bands bands. Each rank bound to one core; \"all cores\" is one process without mpirun."
echo "Throughput: million pixels per wall second. Collective: seconds the slowest rank spent in collective"
echo "steps (reductions, broadcasts, agreements; waiting for the other rank included), and its share of the run."
echo
echo "| command | run | wall s | Mpx/s | speed-up over 1 rank | collective s (share) | labels = 1 rank |"
echo "|---|---|---:|---:|---:|---:|---|"
for command in kmeans maxlik; do
  case $command in
    kmeans) args=(kmeans "$dir/scene.tif" OUT --classes "$classes" --iterations 20 --quiet) ;;
    maxlik) args=(classify "$dir/scene.tif" "$dir/samples.cif" OUT --method maxlik --quiet) ;;
  esac
  for run in 1 2 all; do
    out="$dir/mpi-$command-$run.tif"
    log "${n}²: tessera ${args[0]} ($command) on $run"
    if [ "$run" = all ]; then
      timed "$dir/t.mpi-$command-$run" "$tessera" "${args[@]/OUT/$out}"
    else
      timed "$dir/t.mpi-$command-$run" "${mpirun[@]}" -np "$run" "$tessera" "${args[@]/OUT/$out}"
    fi
  done
  one=$(field "$dir/t.mpi-$command-1" 1)
  for run in 1 2 all; do
    wall=$(field "$dir/t.mpi-$command-$run" 1)
    collective=$(awk '/in collective steps/ {printf "%.2f (%.1f%%)", $4, 100 * $4 / $7}' "$dir/t.mpi-$command-$run.log")
    same=$("$py" -c 'import sys
from osgeo import gdal
a, b = (gdal.Open(p).ReadAsArray() for p in sys.argv[1:])
print("yes" if (a == b).all() else "NO")' "$dir/mpi-$command-1.tif" "$dir/mpi-$command-$run.tif")
    label=$([ "$run" = all ] && echo "1 process, all cores" || echo "$run rank(s)")
    echo "| tessera $command | $label | $wall | $(awk -v p=$pixels -v s="$wall" 'BEGIN {printf "%.1f", p / s / 1e6}') |" \
      "$(ratio "$one" "$wall") | ${collective:--} | $same |"
  done
done
echo
