#!/usr/bin/env bash
# The closing figures of the hostile-input work: tries, passes and failures of the
# built `tessera` per category (malformed invocations, signals, disk full,
# concurrency; the fuzzed formats come from scripts/fuzz.sh).
#   scripts/hostile.sh [BUILD] [ROUNDS]      e.g. scripts/hostile.sh build 20
set -uo pipefail
build=${1:-build}
rounds=${2:-10}
tessera=$(cd "$build" && pwd)/cli/tessera
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM HUP
declare -A tries passes outcome
note() { # category ok(0/1) description
  tries[$1]=$(( ${tries[$1]:-0} + 1 ))
  if [ "$2" -eq 0 ]; then passes[$1]=$(( ${passes[$1]:-0} + 1 )); else echo "FAIL [$1] $3" >&2; fi
}
# No hidden partial file, temporary or backup left in a folder.
clean() { ! ls -A "$1" | grep -qE '^\.|\.tmp\.|\.part\.'; }

"$tessera" synth "$work/s" --size 96 --bands 3 --classes 3 --points 30 --polygons-per-class 1 >/dev/null 2>&1
"$tessera" synth "$work/big" --size 1200 --bands 3 --classes 3 --points 30 --polygons-per-class 1 >/dev/null 2>&1
"$tessera" samples "$work/s/scene.tif" "$work/s/training.shp" "$work/s/s.cif" --class-field class >/dev/null 2>&1
"$tessera" kmeans "$work/s/scene.tif" "$work/s/map.tif" --classes 3 --quiet >/dev/null 2>&1
"$tessera" kmeans "$work/big/scene.tif" "$work/big/map.tif" --classes 3 --quiet >/dev/null 2>&1
S=$work/s; O=$work/o; mkdir -p "$O"

# 1. Malformed invocations: exit 2, one line on stderr, no GDAL line, nothing written.
bad=(
  "" "nosuch" "kmeans" "kmeans $S/scene.tif" "kmeans $S/scene.tif $O/k.tif extra"
  "kmeans $S/scene.tif $O/k.tif --bogus" "kmeans $S/scene.tif $O/k.tif --classes"
  "kmeans $S/scene.tif $O/k.tif --classes x" "kmeans $S/scene.tif $O/k.tif --classes 0"
  "kmeans $S/scene.tif $O/k.tif --classes 4294967297" "kmeans $S/scene.tif $O/k.tif --bands 4294967297"
  "kmeans $S/scene.tif $O/k.tif --bands 1,,2" "kmeans $S/scene.tif $O/k.tif --bands -1"
  "kmeans $S/scene.tif $O/k.tif --classes 3 --classes 4" "kmeans $S/scene.tif $O/k.tif --quiet=1"
  "kmeans $S/scene.tif $O/k.tif --format xyz" "kmeans $S/scene.tif $S/scene.tif"
  "kmeans $S/scene.tif $S/./scene.tif" "isodata $S/scene.tif $O/i.tif --min-pixels 4294967295"
  "isodata $S/scene.tif $O/i.tif --iterations -9223372036854775809"
  "classify $S/scene.tif $S/s.cif $O/c.tif" "classify $S/scene.tif $S/s.cif $O/c.tif --method tree"
  "classify $S/scene.tif $S/s.cif $S/s.cif --method mindist"
  "classify $S/scene.tif $S/s.cif $O/c.tif --method mindist --kernel rbf"
  "classify $S/scene.tif $S/s.cif $O/o.svm --method svm"
  "classify $S/scene.tif $S/s.cif $O/c.tif --method svm --degree 0"
  "samples --list $S/s.cif --check $S/s.cif" "samples $S/scene.tif $S/training.shp"
  "accuracy $S/map.tif" "accuracy $S/map.tif --report $S/map.tif --reference $S/truth.tif"
  "accuracy $S/map.tif --report $O/r --json $O/r --reference $S/truth.tif"
  "accuracy $S/map.tif --report $O/r --seed 1" "merge $S/map.tif $O/m.tif"
  "sieve $S/map.tif $S/map.tif --min-pixels 2" "clump $S/map.tif $O/c.tif --element q"
  "polygonize $S/map.tif $O/p.shp" "polygonize $S/map.tif $O/p.shp --classes 99999999999"
  "synth $O/x --size 1" "synth $O/x --size 64 --width 64"
  "synth $O/x --seed 99999999999999999999" "synth $O/x --block 300"
)
for line in "${bad[@]}"; do
  # shellcheck disable=SC2086
  "$tessera" $line >"$work/out" 2>"$work/err"; code=$?
  [ "$code" -eq 2 ] && [ "$(wc -l <"$work/err")" -eq 1 ] && ! grep -q '^ERROR' "$work/err" && [ -z "$(ls -A "$O")" ]
  note "malformed invocations" $? "tessera $line -> $code $(head -c 200 "$work/err")"
done
for empty in "--aoi" "--format"; do
  "$tessera" kmeans "$S/scene.tif" "$O/k.tif" "$empty" "" >/dev/null 2>"$work/err"; code=$?
  [ "$code" -eq 2 ] && [ "$(wc -l <"$work/err")" -eq 1 ]
  note "malformed invocations" $? "kmeans $empty '' -> $code"
done

# 2. Signals: SIGTERM, SIGHUP or SIGINT at a spread of moments; the run completes
# (exit 0) or stops with one line, the earlier outputs byte-identical, nothing left.
sigs=(TERM HUP INT)
for ((r = 0; r < rounds; r++)); do
  for cmd in kmeans svm polygonize synth; do
    d=$work/sig; rm -rf "$d"; mkdir -p "$d"
    printf 'earlier image' >"$d/k.tif"; printf 'earlier acf' >"$d/k.acf"
    printf 'earlier model' >"$d/k.svm"; printf 'earlier scene' >"$d/scene.tif"
    case $cmd in
      kmeans) args=(kmeans "$work/big/scene.tif" "$d/k.tif" --classes 5) ;;
      svm) args=(classify "$work/big/scene.tif" "$S/s.cif" "$d/k.tif" --method svm) ;;
      polygonize) args=(polygonize "$work/big/map.tif" "$d/k.shp" --classes 1,2,3) ;;
      synth) args=(synth "$d" --size 1500) ;;
    esac
    : >"$work/err"
    "$tessera" "${args[@]}" >/dev/null 2>"$work/err" & pid=$!
    # Once it has started (its first progress line), after 0 to 2 seconds more.
    w=0; while [ ! -s "$work/err" ] && [ "$w" -lt 3000 ]; do sleep 0.01; w=$((w + 1)); done
    sleep "$(( (r * 37 + ${#cmd} * 11) % 20 / 10 )).$(( (r * 53 + ${#cmd} * 7) % 10 ))"
    sig=${sigs[$(( r % 3 ))]}
    kill -s "$sig" "$pid" 2>/dev/null; wait "$pid"; code=$?
    ok=1
    outcome[$code]=$(( ${outcome[$code]:-0} + 1 ))
    if [ "$code" -eq 0 ]; then ok=0
    elif [ "$code" -eq 1 ] && grep -q 'interrupted; nothing was written' "$work/err" &&
      [ "$(cat "$d/k.tif")$(cat "$d/k.svm")$(cat "$d/scene.tif")" = "earlier imageearlier modelearlier scene" ]; then ok=0
    fi
    clean "$d" || ok=1
    note signals $ok "$cmd SIG$sig round $r -> $code $(tail -n 1 "$work/err")"
  done
done

# 3. Disk full: standard output on /dev/full, a second output that cannot be written.
for line in "stats $S/map.tif" "stats $S/map.tif --json" "--help" "kmeans --help" "samples --list $S/s.cif"; do
  # shellcheck disable=SC2086
  "$tessera" $line >/dev/full 2>"$work/err"; code=$?
  [ "$code" -eq 1 ] && grep -q 'cannot write to standard output' "$work/err"
  note "disk full" $? "$line >/dev/full -> $code"
done
for ((r = 0; r < rounds; r++)); do
  d=$work/full; rm -rf "$d"; mkdir -p "$d"
  "$tessera" kmeans "$S/scene.tif" "$d/k.tif" --classes 3 --quiet >/dev/null 2>&1
  cp "$d/k.tif" "$work/k.before"; rm "$d/k.acf"; mkdir "$d/k.acf"; printf 'earlier' >"$d/k.svm"; printf 'earlier' >"$d/r"
  for args in "kmeans $S/scene.tif $d/k.tif --classes 4 --quiet" "classify $S/scene.tif $S/s.cif $d/k.tif --method svm --quiet" \
    "merge $S/map.tif $d/k.tif --rule 1=2 --quiet" "accuracy $S/map.tif --reference $S/truth.tif --report $d/r --json $d/no/j"; do
    # shellcheck disable=SC2086
    "$tessera" $args >/dev/null 2>"$work/err"; code=$?
    [ "$code" -eq 1 ] && cmp -s "$d/k.tif" "$work/k.before" && [ "$(cat "$d/k.svm")$(cat "$d/r")" = earlierearlier ] && clean "$d"
    note "disk full" $? "${args%% *} with a second output in the way -> $code $(cat "$work/err")"
  done
done

for ((r = 0; r < rounds; r++)); do # the file system fills part-way (a file size limit)
  d=$work/limit; rm -rf "$d"; mkdir -p "$d"
  printf 'earlier image' >"$d/k.tif"; printf 'earlier acf' >"$d/k.acf"
  limit=$(( 4 + r * 24 )) # KiB
  ( ulimit -f "$limit"; exec "$tessera" kmeans "$work/big/scene.tif" "$d/k.tif" --quiet ) >/dev/null 2>"$work/err"; code=$?
  { [ "$code" -eq 0 ] || { [ "$code" -eq 1 ] && [ "$(cat "$d/k.tif")$(cat "$d/k.acf")" = "earlier imageearlier acf" ]; }; } &&
    [ "$(wc -l <"$work/err")" -le 1 ] && clean "$d"
  note "disk full" $? "kmeans with files limited to $limit KiB -> $code $(cat "$work/err")"
done

# 4. Concurrency: two runs write the same output at once; both finish, the result is whole.
for ((r = 0; r < rounds; r++)); do
  d=$work/conc; rm -rf "$d"; mkdir -p "$d"
  "$tessera" kmeans "$S/scene.tif" "$d/k.tif" --classes 3 --quiet >/dev/null 2>&1 & a=$!
  "$tessera" isodata "$S/scene.tif" "$d/k.tif" --classes 3 --quiet >/dev/null 2>&1 & b=$!
  wait $a; ca=$?; wait $b; cb=$?
  [ "$ca" -eq 0 ] && [ "$cb" -eq 0 ] && "$tessera" stats "$d/k.tif" --recount --quiet >/dev/null 2>&1 && clean "$d"
  note concurrency $? "round $r -> $ca $cb"
done

printf '\n%-24s %6s %6s %8s\n' category tries passes failures
total_fail=0
for c in "malformed invocations" signals "disk full" concurrency; do
  t=${tries[$c]:-0} p=${passes[$c]:-0}
  printf '%-24s %6d %6d %8d\n' "$c" "$t" "$p" $((t - p))
  total_fail=$((total_fail + t - p))
done
printf 'signals by exit code:'
for code in "${!outcome[@]}"; do printf ' %s: %d' "$code" "${outcome[$code]}"; done
printf ' (0 completed, 1 stopped with the earlier outputs kept)\n'
[ "$total_fail" -eq 0 ]
