#!/usr/bin/env bash
# The Test page's responsiveness during a benchmark run: runs a whole group (CPU by default) on
# the page under a virtual X server and reports how late a 10 ms heartbeat of the GUI thread
# came and how long the window's repaints took (target: no frame over 50 ms).
#   bench/board_frames.sh [build-dir] [cpu|mem] [--shots DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
group=${2:-cpu}
shift $(( $# < 2 ? $# : 2 ))
exe="$root/$build/tests/board_frames"
[ -x "$exe" ] || { echo "build the board_frames target first ($exe)" >&2; exit 2; }
home=$(mktemp -d "${TMPDIR:-/tmp}/korvane-frames-XXXXXX")
trap 'rm -rf "$home"' EXIT
mkdir -m 700 "$home/runtime"
# Its own home, so the run's stored score never touches the user's; the submission goes to a
# closed loopback port unless KORVANE_SERVER_BASE names a server.
HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache" \
  XDG_STATE_HOME="$home/state" XDG_RUNTIME_DIR="$home/runtime" KORVANE_NO_BROWSER=1 \
  xvfb-run -a -s "-screen 0 1280x800x24" "$exe" --group "$group" "$@"
