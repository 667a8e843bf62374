#!/usr/bin/env bash
# Full-length benchmark runs and their comparison with plain reference implementations.
#
#   bench/run_bench.sh [build-dir]        (default: build-benchmarks)
#
# Builds korvane-benchtest and korvane-benchref (RelWithDebInfo, GUI off), then:
#   * pi pass and both fractal jobs: plain scalar code vs the library (checksums must match),
#   * tests 0, 1, 2, 6, 7, 8 through the headless runner,
#   * test 11's best copy bandwidth vs the best plain copy (must be within 10 %),
#   * test 12's latency vs a plain random pointer chase at 32 MiB (must be within 10 %).
# The machine should be otherwise idle. The fractal and pi comparisons use thread processor
# time so that they hold up on a busy machine; the memory tests measure wall-clock time, so
# their references are timed by the wall clock too (--wall) and only mean something when
# nothing else runs.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(dirname "$here")"
build="${1:-$repo/build-benchmarks}"
export CCACHE_BASEDIR="$repo"

cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_BUILD_GUI=OFF \
  -DKORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target korvane-benchtest korvane-benchref -j2 >/dev/null
tool() { find "$build" -name "$1" -type f -perm -u+x | head -n1; }
benchtest="$(tool korvane-benchtest)"
benchref="$(tool korvane-benchref)"

status=0
field() { sed -n "s/.*$1=\([^ ]*\).*/\1/p" <<<"$2"; }
within() {  # within <label> <ours> <reference> <percent>
  if awk -v a="$2" -v b="$3" -v p="$4" 'BEGIN { d = (a - b) / b; if (d < 0) d = -d; exit !(d <= p / 100) }'; then
    echo "PASS $1: $2 vs reference $3 (within $4 %)"
  else
    echo "FAIL $1: $2 vs reference $3 (more than $4 % apart)"; status=1
  fi
}

echo "== pi pass"
"$benchref" pi || status=1

echo "== fractal jobs (single thread): plain scalar vs library at each SIMD level"
fractal="$("$benchref" fractal)" || status=1
echo "$fractal"
julia_ref="$(sed -n 's/^plain *julia checksum=\([-0-9]*\).*/\1/p' <<<"$fractal")"
mandel_ref="$(sed -n 's/^plain.*mandelbrot checksum=\([-0-9]*\).*/\1/p' <<<"$fractal")"

echo "== headless runs"
for id in 0 1 2 6 7 8; do
  line="$("$benchtest" "$id" 2>/dev/null)" || status=1
  echo "$line"
  case "$id" in
    0) awk -v e="$(field elapsed "$line")" 'BEGIN { printf "   %.3f s per pi pass over 13 passes\n", e / 13 }' ;;
    1) [[ "$(field checksum "$line")" == "$julia_ref" ]] && echo "PASS julia checksum" || { echo "FAIL julia checksum"; status=1; } ;;
    2) [[ "$(field checksum "$line")" == "$mandel_ref" ]] && echo "PASS mandelbrot checksum" || { echo "FAIL mandelbrot checksum"; status=1; } ;;
  esac
done

echo "== memory copy bandwidth"
copy="$("$benchref" copy --wall)"
echo "$copy"
line="$("$benchtest" 11 2>/dev/null)" || status=1
echo "$line"
within "copy bandwidth GB/s" "$(field value "$line")" "$(sed -n 's/^copy best //p' <<<"$copy")" 10

echo "== memory latency"
chase="$("$benchref" chase 32 --wall)"
echo "$chase"
line="$("$benchtest" 12 2>/dev/null | tail -n1)" || status=1
echo "$line"
within "latency ns" "$(field value "$line")" "$(sed -n 's/.*: \([0-9.]*\) ns per load.*/\1/p' <<<"$chase")" 10

exit "$status"
