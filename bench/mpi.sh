#!/usr/bin/env bash
# MPI section: the same tessera commands on 1 and 2 ranks under mpirun, each
# rank bound to one core (--bind-to core), on one large synth scene. Prints the
# throughput, the speed-up over one rank, the time the ranks spent in collective
# steps (the slowest rank's, waiting included), the CPU time of the busiest rank
# and whether the labels equal the one-rank run's. The baseline of the speed-up
# is measured in the same run: two independent one-core runs at once show how
# much of a second core the machine gives (2.00 on an idle machine).
#   BENCH_MPI_SIZE=N     scene edge (default 10000)
#   BENCH_MPI_REPEAT=R   runs of each row, the fastest kept (default 3)
# Usage: bench/mpi.sh [BUILD]
set -euo pipefail
source "$(dirname "$0")/common.sh"
n=${BENCH_MPI_SIZE:-10000}
repeat=${BENCH_MPI_REPEAT:-3}
mpirun=(mpirun -q --oversubscribe --bind-to core)
[ "$(id -u)" -eq 0 ] && mpirun+=(--allow-run-as-root)

echo "## Across processes (MPI)"
echo
if ! command -v mpirun >/dev/null 2>&1 || [[ $(ldd "$tessera") != *libmpi* ]]; then
  echo "tessera was built without OpenMPI: section left out."
  echo
  exit 0
fi
ensure_scene "$n"
dir=$(scene_dir "$n")
ensure_samples "$n" >/dev/null
pixels=$((n * n))

# fastest NAME command...: runs the command $repeat times, keeps the fastest
# run's timing in $dir/t.NAME (and its output log in $dir/t.NAME.log).
fastest() {
  local name=$1 r
  shift
  for r in $(seq "$repeat"); do
    timed "$dir/t.$name.$r" "$@"
    if [ ! -f "$dir/t.$name" ] || awk -v a="$(field "$dir/t.$name.$r" 1)" -v b="$(field "$dir/t.$name" 1)" 'BEGIN {exit !(a < b)}'; then
      cp "$dir/t.$name.$r" "$dir/t.$name"
      cp "$dir/t.$name.$r.log" "$dir/t.$name.log"
    fi
  done
}

echo "Scene: ${n}², $bands bands; fastest of $repeat runs. Each rank bound to one core. Throughput: million pixels per"
echo "wall second. Collective: seconds the slowest rank spent in collective steps (reductions, broadcasts,"
echo "agreements; waiting for the other rank, such as rank 0 assembling the output, included) and their share of the"
echo "run. Speed-up: of 2 ranks over 1 rank (both started by mpirun); of the runs without mpirun over one process on"
echo "one core. Capacity: two independent one-core processes at once, their combined throughput over one's: the ideal"
echo "speed-up this machine offered during the bench (2.00 when idle; other load lowers it). CPU: user + system"
echo "seconds of the busiest rank and of all ranks (OpenMPI waits by polling, so waits count too); one rank's over the"
echo "busiest rank's estimates the speed-up the ranks reach when each has a core of its own, whatever the load."
echo
echo "| command | run | wall s | Mpx/s | speed-up | collective s (share) | CPU s busiest rank (all) | speed-up, a core per rank | labels = 1 rank |"
echo "|---|---|---:|---:|---:|---:|---:|---:|---|"
for command in kmeans maxlik; do
  case $command in
    kmeans) args=(kmeans "$dir/scene.tif" OUT --classes "$classes" --iterations 20 --quiet) ;;
    maxlik) args=(classify "$dir/scene.tif" "$dir/samples.cif" OUT --method maxlik --quiet) ;;
  esac
  rm -f "$dir"/t.mpi-$command-*
  for run in 1 2 all core; do
    log "${n}²: tessera ${args[0]} ($command) on $run"
    out="$dir/mpi-$command-$run.tif"
    case $run in
      all) fastest "mpi-$command-$run" "$tessera" "${args[@]/OUT/$out}" ;;
      core) fastest "mpi-$command-$run" taskset -c 0 "$tessera" "${args[@]/OUT/$out}" ;;
      *) fastest "mpi-$command-$run" "${mpirun[@]}" -np "$run" "$tessera" "${args[@]/OUT/$out}" ;;
    esac
  done
  log "${n}²: two one-core runs of tessera ${args[0]} ($command) at once"
  twins="taskset -c 0 $(printf '%q ' "$tessera" "${args[@]/OUT/$dir/mpi-$command-capacity.tif}") &
    taskset -c 1 $(printf '%q ' "$tessera" "${args[@]/OUT/$dir/mpi-$command-twin.tif}") & wait"
  fastest "mpi-$command-capacity" bash -c "$twins"
  for run in 1 2 core capacity all; do
    wall=$(field "$dir/t.mpi-$command-$run" 1)
    summary="$dir/t.mpi-$command-$run.log"
    collective=$(awk '/in collective steps/ {printf "%.2f (%.1f%%)", $4, 100 * $4 / $7}' "$summary")
    cpu=$(awk '/in collective steps/ {printf "%.2f (%.2f)", $13, $18}' "$summary")
    busiest=$(awk '/in collective steps/ {print $13}' "$summary")
    one_cpu=$(awk '/in collective steps/ {print $13}' "$dir/t.mpi-$command-1.log")
    cored=$([ -n "$busiest" ] && ratio "$one_cpu" "$busiest" || echo -)
    same=$("$py" -c 'import sys
from osgeo import gdal
a, b = (gdal.Open(p).ReadAsArray() for p in sys.argv[1:])
print("yes" if (a == b).all() else "NO")' "$dir/mpi-$command-1.tif" "$dir/mpi-$command-$run.tif")
    # Ranks are compared with one rank; runs without mpirun with one process on one core.
    base=$(field "$dir/t.mpi-$command-$([ "$run" = 1 ] || [ "$run" = 2 ] && echo 1 || echo core)" 1)
    case $run in
      core) label="1 process on one core, no mpirun" ;;
      capacity) label="capacity: 2 one-core processes at once" ;;
      all) label="1 process, all cores, no mpirun" ;;
      *) label="$run rank$([ "$run" = 1 ] || echo s)" ;;
    esac
    count=$([ "$run" = capacity ] && echo 2 || echo 1)
    speedup=$(awk -v o="$base" -v w="$wall" -v c="$count" 'BEGIN {printf "%.2f", c * o / w}')
    echo "| tessera $command | $label | $wall | $(awk -v p=$((pixels * count)) -v s="$wall" 'BEGIN {printf "%.1f", p / s / 1e6}') |" \
      "$speedup | ${collective:--} | ${cpu:--} | $cored | $same |"
  done
done
echo
