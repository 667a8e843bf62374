#!/usr/bin/env bash
# What the start panel's browser costs at start-up.
#
#   bench/startup_browser.sh [korvane-binary] [runs]     (default: build/bin/korvane, 3 runs)
#
# Starts the window (offscreen unless a display is set) several times with the browser and
# with KORVANE_NO_BROWSER=1, and reports per mode the median of:
#   * launch -> first paint of the summary page (the moment the start panel is first drawn),
#   * first paint -> browser created, and -> start page loaded (browser mode only),
#   * resident memory of the program and every process it started (the engine's helper
#     processes included), summed, once the start page is shown (or after the same wait).
# Each run gets its own empty home under the build tree, removed afterwards.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(dirname "$here")"
bin="${1:-$repo/build/bin/korvane}"
runs="${2:-3}"
[ -x "$bin" ] || { echo "no program at $bin (build it with tools/build.sh build)" >&2; exit 1; }
work="$(dirname "$(dirname "$bin")")/startup-bench.$$"
trap 'rm -rf "$work"' EXIT

if [ -z "${DISPLAY:-}" ]; then export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"; fi
if [ "$(id -u)" = 0 ]; then
  export QTWEBENGINE_DISABLE_SANDBOX=1
  export QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:---disable-gpu --no-sandbox}"
fi

now_ms() { date +%s%3N; }
# Resident and proportional memory (kB, "rss pss") of a process and all its descendants; the
# proportional figure shares the pages the processes have in common instead of counting them
# once per process.
tree_rss() {
  local pids=("$1") all=() p kids total=0
  while [ ${#pids[@]} -gt 0 ]; do
    p="${pids[0]}"; pids=("${pids[@]:1}"); all+=("$p")
    kids="$(cat /proc/"$p"/task/*/children 2>/dev/null || true)"
    for k in $kids; do pids+=("$k"); done
  done
  local pss=0 v
  for p in "${all[@]}"; do
    v="$(awk '/^VmRSS:/ {print $2}' /proc/"$p"/status 2>/dev/null)"; total=$((total + ${v:-0}))
    v="$(awk '/^Pss:/ {print $2}' /proc/"$p"/smaps_rollup 2>/dev/null)"; pss=$((pss + ${v:-0}))
  done
  echo "$total $pss"
}
median() { sort -n | awk '{a[NR]=$1} END {if (NR == 0) print "-"; else print a[int((NR + 1) / 2)]}'; }

one_run() {  # one_run <mode> <n>  -> "paint created ready rss pss"
  local mode="$1" n="$2" home="$work/$1-$2" log start pid paint="" created="-" ready="-" t0 deadline
  mkdir -p "$home/runtime"; chmod 700 "$home/runtime"
  log="$home/trace.log"
  start="$(now_ms)"
  (
    export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache" \
      XDG_STATE_HOME="$home/state" XDG_RUNTIME_DIR="$home/runtime" KORVANE_STARTUP_TRACE=1
    [ "$mode" = without ] && export KORVANE_NO_BROWSER=1
    exec "$bin" 2>"$log" >/dev/null
  ) &
  pid=$!
  deadline=$(( $(now_ms) + 60000 ))
  while [ "$(now_ms)" -lt "$deadline" ]; do
    if [ "$mode" = with ] && grep -q 'start-page-ready' "$log" 2>/dev/null; then break; fi
    if [ "$mode" = without ] && grep -q 'first-paint' "$log" 2>/dev/null; then break; fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  # The same settling time in both modes before memory is read.
  sleep 2
  local rss; rss="$(tree_rss "$pid")"  # two fields
  kill -TERM "$pid" 2>/dev/null || true
  t0=0; while kill -0 "$pid" 2>/dev/null && [ $t0 -lt 100 ]; do sleep 0.1; t0=$((t0 + 1)); done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  local fp bc sr
  fp="$(awk '$2 == "first-paint" {print $3; exit}' "$log")"
  bc="$(awk '$2 == "browser-created" {print $3; exit}' "$log")"
  sr="$(awk '$2 == "start-page-ready" {print $3; exit}' "$log")"
  [ -n "$fp" ] && paint=$((fp - start)) || paint="-"
  [ -n "$fp" ] && [ -n "$bc" ] && created=$((bc - fp))
  [ -n "$fp" ] && [ -n "$sr" ] && ready=$((sr - fp))
  echo "$paint $created $ready $rss"
}

printf '%-8s %5s %18s %18s %18s %14s %14s\n' mode runs "launch->paint ms" "paint->browser ms" \
  "paint->page ms" "RSS sum kB" "PSS sum kB"
for mode in without with; do
  results=()
  for n in $(seq 1 "$runs"); do results+=("$(one_run "$mode" "$n")"); done
  col() { printf '%s\n' "${results[@]}" | awk -v c="$1" '$c != "-" {print $c}' | median; }
  printf '%-8s %5s %18s %18s %18s %14s %14s\n' "$mode" "$runs" "$(col 1)" "$(col 2)" "$(col 3)" \
    "$(col 4)" "$(col 5)"
done
