#!/usr/bin/env bash
# `make bench`: installs the peers, then runs the benchmarks. Benchmarks
# report ratios against baselines measured in the same run; they never gate.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
./scripts/install-deps.sh bench
exec ./bench/run.sh "$build"
