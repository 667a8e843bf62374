#!/usr/bin/env bash
#   local_server_test.sh LOCAL_SERVER_SH BIN_DIR WORK_DIR
set -euo pipefail
script=$1
bin=$2
work=$3
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
started=""
cleanup() {
  # Every server a call said it started, also the ones it should not have started.
  for pid in $started; do kill "$pid" 2>/dev/null || true; done
  for pid in $started; do
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  done
  rm -rf "$work"
}
pid_in() { echo "$1" | sed -n 's/.*(pid \([0-9]*\)).*/\1/p'; }
trap cleanup EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
  XDG_STATE_HOME="$work/state" XDG_CACHE_HOME="$work/cache"
unset KORVANE_SERVER_BASE
mkdir -p "$HOME"
answers() { (exec 3<>/dev/tcp/127.0.0.1/8086) 2>/dev/null; }
failed=0
check() { if ! eval "$2"; then echo "FAIL: $1" >&2; failed=1; fi; }

# Another base, from the environment or from the settings file: nothing starts, even though
# nothing may answer at the default address.
out=$(KORVANE_SERVER_BASE=http://192.0.2.1:8086 bash "$script" "$bin")
started="$started $(pid_in "$out")"
check "a base on another host starts nothing" '[ -z "$out" ] && [ ! -e "$XDG_STATE_HOME/korvane" ]'
mkdir -p "$XDG_CONFIG_HOME/quillmark"
printf '[Tovix2]\nServerBase=http://127.0.0.1:9999/\n' >"$XDG_CONFIG_HOME/quillmark/tovix2.ini"
out=$(bash "$script" "$bin")
started="$started $(pid_in "$out")"
check "a base from tovix2.ini starts nothing" '[ -z "$out" ] && [ ! -e "$XDG_STATE_HOME/korvane" ]'
rm "$XDG_CONFIG_HOME/quillmark/tovix2.ini"

if answers; then
  echo "something already answers at 127.0.0.1:8086; the start itself is not checked"
  [ "$failed" = 0 ] && exit 77
  exit 1
fi

# The default base with nothing there: one line, then the service answers from the user's
# data folder, and a second call finds it and starts nothing.
out=$(bash "$script" "$bin")
server=$(pid_in "$out")
started="$started $server"
check "one line names the started server" '[ "$(echo "$out" | wc -l)" = 1 ] && [ -n "$server" ]'
check "the service answers" 'answers'
check "its store is in the data folder" '[ -f "$XDG_DATA_HOME/korvane-server/drivers.sqlite" ]'
check "its log is in the state folder" 'grep -q "listening on http://127.0.0.1:8086/" "$XDG_STATE_HOME/korvane/korvane-server.log"'
again=$(bash "$script" "$bin")
started="$started $(pid_in "$again")"
check "a second call reuses the running server" '[ -z "$again" ] && kill -0 "$server"'
# It runs in a session of its own, so it outlives the terminal that started run.sh.
check "the server leads its own session" '[ "$(ps -o sid= -p "$server" | tr -d " ")" = "$server" ]'
exit "$failed"
