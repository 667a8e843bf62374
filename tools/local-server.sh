#!/usr/bin/env bash
# Starts korvane-server in the background when the program talks to its default local service
# (http://127.0.0.1:8086) and nothing answers there; says so in one line and leaves it running
# for later starts. Nothing starts when the server base names another address.
#   tools/local-server.sh BIN_DIR      (the folder with korvane and korvane-server)
set -euo pipefail
bin=${1:?usage: local-server.sh BIN_DIR}
default_base="http://127.0.0.1:8086"

# The server base exactly as the program sees it (KORVANE_SERVER_BASE, then ServerBase in
# tovix2.ini, then the built-in default): the probe address (string 8130) without its path.
probe=$(LC_ALL=C "$bin/korvane" --strings | awk -F '\t' '$1 == "8130" {print $2; exit}')
base=${probe%/info/*}
[ "$base" = "$default_base" ] || exit 0

answers() {  # something accepts connections at the default address
  (exec 3<>/dev/tcp/127.0.0.1/8086) 2>/dev/null
}
answers && exit 0

# The server's own default data folder holds the store; the log goes to the state folder.
absolute_or() { case "${1:-}" in /*) echo "$1" ;; *) echo "$2" ;; esac; }
data_home=$(absolute_or "${XDG_DATA_HOME:-}" "$HOME/.local/share")
state_home=$(absolute_or "${XDG_STATE_HOME:-}" "$HOME/.local/state")
mkdir -p "$state_home/korvane"
log="$state_home/korvane/korvane-server.log"
# A session of its own, so closing the terminal or the window leaves the service running.
setsid nohup "$bin/korvane-server" --listen 127.0.0.1:8086 </dev/null >>"$log" 2>&1 &
pid=$!
echo "run: started korvane-server (pid $pid) on $default_base, store $data_home/korvane-server, log $log; it keeps running"
# The first start fills the driver database before it listens.
for _ in $(seq 1 300); do
  answers && exit 0
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "run: korvane-server ended at once; see $log" >&2
    exit 1
  fi
  sleep 0.2
done
echo "run: korvane-server does not answer yet; see $log" >&2
