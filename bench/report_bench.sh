#!/usr/bin/env bash
# Times `korvane --report` against the common inventory tools of this machine:
# median wall time and peak resident memory over N runs each, and korvane's ratio to each.
# Usage: bench/report_bench.sh [KORVANE_BINARY] [RUNS]
# The other tools are measured where installed (apt-get install lshw hwinfo inxi); missing
# ones are listed as such. Output goes to the terminal only.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
korvane=${1:-$root/build-core/bin/korvane}
runs=${2:-15}
[ -x "$korvane" ] || korvane=$root/build/bin/korvane
[ -x "$korvane" ] || { echo "no korvane binary (build it first)" >&2; exit 1; }
command -v /usr/bin/time >/dev/null || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 1; }

# median of "seconds kilobytes" lines, for column $1
median() { sort -n -k"$1" | awk -v c="$1" '{v[NR]=$c} END {print v[int((NR+1)/2)]}'; }

measure() {
  local out
  out=$(mktemp -d)
  # shellcheck disable=SC2064
  trap "rm -rf '$out'" RETURN
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %M" -o "$out/t" "$@" >/dev/null 2>&1 || true
    tail -n1 "$out/t" >>"$out/all"
  done
  echo "$(median 1 <"$out/all") $(median 2 <"$out/all")"
}

printf '%-22s %10s %10s %10s %10s\n' tool "time (s)" "RSS (MB)" "time x" "RSS x"
read -r kt km < <(measure "$korvane" --report)
printf '%-22s %10s %10.1f %10s %10s\n' "korvane --report" "$kt" "$(echo "$km/1024" | bc -l)" 1 1
for tool in "lshw -short" "hwinfo --short" "inxi -F"; do
  set -- $tool
  if ! command -v "$1" >/dev/null; then
    printf '%-22s %10s\n' "$tool" "not installed"
    continue
  fi
  read -r t m < <(measure "$@")
  # Ratios: how many times longer / larger the other tool is than korvane.
  printf '%-22s %10s %10.1f %10.1f %10.1f\n' "$tool" "$t" "$(echo "$m/1024" | bc -l)" \
    "$(echo "$t/($kt+0.0001)" | bc -l)" "$(echo "$m/$km" | bc -l)"
done
echo "korvane target: < 0.05 s and <= 15 MB"

# The window side: the summary page from its first show to every pane filled and painted, under
# Xvfb, with a settings folder of its own (the tool stores two scores there to show them).
shot=$root/build/tests/summary_screenshot
if [ -x "$shot" ] && command -v xvfb-run >/dev/null; then
  home=$(mktemp -d)
  png=$home/page.png
  for _ in 1 2 3; do
    HOME=$home XDG_CONFIG_HOME=$home/config XDG_CACHE_HOME=$home/cache XDG_STATE_HOME=$home/state \
      xvfb-run -a -s "-screen 0 1280x2600x24" "$shot" "$png" 2>/dev/null | grep "after first show"
  done
  rm -rf "$home"
  echo "window target: < 300 ms"
else
  echo "summary page timing: needs the GUI build (build/tests/summary_screenshot) and xvfb-run"
fi
