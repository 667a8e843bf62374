#!/usr/bin/env bash
# Installs what is missing, builds, and starts Korvane: the window when a display is present,
# otherwise the hardware report in the terminal. When the program talks to its default local
# service and nothing answers there, korvane-server is started in the background first and
# left running for later starts (the window itself never starts servers).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/setup.sh
# The program, the libraries and tools it loads, and the service; the tests are built by
# tools/test.sh.
KORVANE_TARGETS="korvane qmlog qmwin7 qmupdate korvane-server" \
  bash tools/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
bin="$root/build/bin"

# The server base exactly as the program sees it (KORVANE_SERVER_BASE, then ServerBase in
# tovix2.ini, then the built-in default): the probe address (string 8130) with its path cut off.
probe=$(LC_ALL=C "$bin/korvane" --strings | awk -F '\t' '$1 == "8130" {print $2; exit}')
base=${probe%/info/*}
default_base="http://127.0.0.1:8086"

answers() {  # answers HOST PORT: something accepts connections there
  (exec 3<>"/dev/tcp/$1/$2") 2>/dev/null
}

if [ "$base" = "$default_base" ] && ! answers 127.0.0.1 8086; then
  # Same default folders as the server's own: store in the data folder, log in the state folder.
  data_home=${XDG_DATA_HOME:-}
  [ "${data_home#/}" != "$data_home" ] || data_home="$HOME/.local/share"
  state_home=${XDG_STATE_HOME:-}
  [ "${state_home#/}" != "$state_home" ] || state_home="$HOME/.local/state"
  mkdir -p "$state_home/korvane"
  log="$state_home/korvane/korvane-server.log"
  # A session of its own, so closing this terminal or the window leaves the service running.
  setsid nohup "$bin/korvane-server" --listen 127.0.0.1:8086 </dev/null >>"$log" 2>&1 &
  server_pid=$!
  echo "run: started korvane-server (pid $server_pid) on $default_base, store $data_home/korvane-server, log $log; it keeps running"
  # The first start fills the driver database before it listens: give it time.
  for _ in $(seq 1 300); do
    answers 127.0.0.1 8086 && break
    if ! kill -0 "$server_pid" 2>/dev/null; then
      echo "run: korvane-server stopped at once; see $log" >&2
      break
    fi
    sleep 0.2
  done
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$bin/korvane" "$@"
fi
"$bin/korvane" --report
echo
echo "No display found, so this was the hardware report (every reading: korvane --diagnose)."
echo "Start the window on a desktop with: $bin/korvane"
echo "or without a screen: xvfb-run -a $bin/korvane"
