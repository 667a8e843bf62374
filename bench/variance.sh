#!/usr/bin/env bash
# Run-to-run spread of the benchmark group scores: `korvane --bench cpu` and `--bench mem`, each
# RUNS times, with each run's group score and test values, then per group and per test the mean
# and the spread (max - min over the mean). The goal is a group-score spread of at most 2 % on an
# idle machine; the load average before and after every run shows whether it was idle.
#
#   bench/variance.sh [korvane executable]     (default: the first korvane under build*/)
#   RUNS=5 BENCH_GROUPS="cpu mem" bench/variance.sh
#
# Runs never submit and never touch the user's stored scores: each one gets a throwaway HOME and
# XDG folders, removed afterwards. They run at nice -5 when allowed (root), so ordinary
# background work yields to them.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(dirname "$here")"
runs="${RUNS:-5}"
groups="${BENCH_GROUPS:-cpu mem}"

exe="${1:-}"
if [[ -z "$exe" ]]; then
  for d in "$repo"/build "$repo"/build-core "$repo"/build-*; do
    [[ -x "$d/bin/korvane" ]] && { exe="$d/bin/korvane"; break; }
  done
fi
if [[ -z "$exe" || ! -x "$exe" ]]; then
  echo "no korvane executable found; build it (tools/build.sh) or pass its path" >&2
  exit 2
fi

nice_cmd=()
if nice -n -5 true 2>/dev/null && [[ "$(nice -n -5 nice)" -lt "$(nice)" ]]; then
  nice_cmd=(nice -n -5)
fi

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
load() { cut -d' ' -f1-3 /proc/loadavg; }

echo "korvane: $exe"
echo "processors: $(nproc), runs per group: $runs, priority: ${nice_cmd[*]:-unchanged}"
status=0
for group in $groups; do
  echo "== $group"
  : >"$scratch/$group.scores"
  : >"$scratch/$group.tests"
  for ((r = 1; r <= runs; ++r)); do
    home="$scratch/home-$group-$r"
    mkdir -p "$home"/{config,data,cache,runtime}
    chmod 700 "$home/runtime"
    before="$(load)"
    if ! out="$(env HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" \
      XDG_CACHE_HOME="$home/cache" XDG_RUNTIME_DIR="$home/runtime" DBUS_SESSION_BUS_ADDRESS= \
      "${nice_cmd[@]}" "$exe" --bench "$group" --no-submit 2>/dev/null)"; then
      echo "   run $r failed" >&2
      status=1
      continue
    fi
    rm -rf "$home"
    score="$(sed -n 's/^group=.* score=\([0-9.]*\).*/\1/p' <<<"$out")"
    tests="$(sed -n 's/^test=\([0-9]*\) .*score=\([0-9.]*\) value=\([0-9.]*\).*/\1:\2:\3/p' <<<"$out")"
    printf '   run %d: score %s   tests %s   [load %s -> %s]\n' "$r" "$score" \
      "$(awk -F: 'NF == 3 { printf "%s=%s (%s) ", $1, $2, $3 }' <<<"$tests")" "$before" "$(load)"
    echo "$score" >>"$scratch/$group.scores"
    tr ' ' '\n' <<<"$tests" | grep -v '^$' >>"$scratch/$group.tests" || true
  done
  # Spread of the group score, then of every test's score and measured value.
  awk '{ v[NR] = $1; s += $1; if (NR == 1 || $1 < lo) lo = $1; if (NR == 1 || $1 > hi) hi = $1 }
       END { if (NR == 0) exit; m = s / NR;
             printf "   group score: mean %.3f, min %.2f, max %.2f, spread %.2f %%\n", m, lo, hi,
                    (m > 0) ? (hi - lo) / m * 100 : 0 }' "$scratch/$group.scores"
  awk -F: '{ id = $1; n[id]++; for (k = 2; k <= 3; ++k) { x = $k + 0; key = id SUBSEP k;
             sum[key] += x; if (n[id] == 1 || x < lo[key]) lo[key] = x;
             if (n[id] == 1 || x > hi[key]) hi[key] = x } }
           END { for (id in n) {
                   line = sprintf("   test %s:", id);
                   for (k = 2; k <= 3; ++k) { key = id SUBSEP k; m = sum[key] / n[id];
                     line = line sprintf(" %s mean %.3f spread %.2f %%;", k == 2 ? "score" : "value",
                                         m, (m > 0) ? (hi[key] - lo[key]) / m * 100 : 0) }
                   print line } }' "$scratch/$group.tests" | sort
done
exit "$status"
