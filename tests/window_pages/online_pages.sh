#!/usr/bin/env bash
# The window with the real service on a free loopback port: the start panel must show the
# on-line start page and the Rank page the service's ranking page.
#   online_pages.sh BIN_DIR WORK_DIR
set -euo pipefail
bin=$1
work=$2
rm -rf "$work"
mkdir -p "$work/runtime"
work=$(cd "$work" && pwd)
chmod 700 "$work/runtime"
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
export HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" \
  XDG_STATE_HOME="$work/state" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime" LC_ALL=C
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

# A small id table keeps the server's first start quick; the pages do not depend on it.
printf '10de  NVIDIA Corporation\n' >"$work/pci.ids"
printf '046d  Logitech, Inc.\n' >"$work/usb.ids"
mkdir -p "$work/modules"
"$bin/korvane-server" --listen 127.0.0.1:0 --pci-ids "$work/pci.ids" --usb-ids "$work/usb.ids" \
  --modules "$work/modules" >"$work/server.out" 2>"$work/server.err" &
server_pid=$!
port=""
for _ in $(seq 1 200); do
  port=$(sed -n 's|.*listening on http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' "$work/server.out")
  [ -n "$port" ] && break
  sleep 0.05
done
if [ -z "$port" ]; then
  cat "$work/server.err" >&2
  echo "korvane-server did not start" >&2
  exit 1
fi

status=0
KORVANE_SERVER_BASE="http://127.0.0.1:$port" "$bin/window_pages" "$work/start.png" "$work/rank.png" \
  || status=$?
if [ "$status" != 0 ]; then
  echo "window_pages ended with $status; the service saw:" >&2
  cat "$work/server.err" >&2
  exit 1
fi
# Both pages were asked for at this server, so neither came from anywhere else.
grep -q 'GET /info/tovixsoft' "$work/server.err" || { echo "the start page was never asked for" >&2; exit 1; }
grep -q 'GET /html/korvane/rank.htm' "$work/server.err" || { echo "the ranking page was never asked for" >&2; exit 1; }
for f in start rank; do
  [ -s "$work/$f.png" ] || { echo "no $f.png" >&2; exit 1; }
done
echo "both pages came from the service on port $port"
