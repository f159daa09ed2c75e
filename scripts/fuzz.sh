#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build (built with AddressSanitizer and UBSan):
# first every truncation of every seed file once, then for a number of seconds
# from the seed corpus. An input that runs longer than 5 seconds is a hang.
# Prints one summary line per target: runs, truncations, crashes and hangs.
set -euo pipefail
export LC_ALL=C
build=${1:-build-fuzz}
seconds=${2:-20}
seeds_root=$(cd "$(dirname "$0")/../tests/fuzz/seeds" && pwd)
shopt -s nullglob
status=0
for target in "$build"/tests/fuzz/fuzz_*; do
  [ -f "$target" ] && [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="$build/fuzz-corpus/$name"
  mkdir -p "$corpus"
  echo "== $name ($seconds s)"

  # Every truncation of every seed: the readers see each way a file can end early.
  cuts=$(mktemp -d)
  truncations=0
  for seed in "$seeds_root/$name"/*; do
    size=$(stat -c %s "$seed")
    # A seed without NUL bytes is cut by the shell itself (fast), byte-wise (LC_ALL=C).
    IFS= read -r -d '' text < "$seed" || true
    for ((i = 0; i < size; i++)); do
      if [ "${#text}" -eq "$size" ]; then
        printf '%s' "${text:0:i}" > "$cuts/$(basename "$seed").$i"
      else
        head -c "$i" "$seed" > "$cuts/$(basename "$seed").$i"
      fi
      truncations=$((truncations + 1))
    done
  done
  crashes=0 hangs=0
  if [ "$truncations" -gt 0 ]; then
    if ! "$target" -timeout=5 "$cuts"/* > "$cuts.log" 2>&1; then
      if grep -q "ERROR: libFuzzer: timeout" "$cuts.log"; then hangs=$((hangs + 1)); else crashes=$((crashes + 1)); fi
      tail -n 20 "$cuts.log"
    fi
  fi
  rm -rf "$cuts" "$cuts.log"

  log=$(mktemp)
  if ! "$target" -max_total_time="$seconds" -timeout=5 -max_len=65536 -print_final_stats=1 "$corpus" > "$log" 2>&1; then
    if grep -q "ERROR: libFuzzer: timeout" "$log"; then hangs=$((hangs + 1)); else crashes=$((crashes + 1)); fi
    grep -A 30 -m 1 "ERROR:" "$log" || tail -n 30 "$log"
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rm -f "$log"
  echo "$name: ${runs:-0} runs, $truncations truncations, $crashes crashes, $hangs hangs"
  [ "$crashes" -eq 0 ] && [ "$hangs" -eq 0 ] || status=1
done
exit $status
