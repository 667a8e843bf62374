#!/usr/bin/env bash
# Ranking service load test on loopback: 16 clients doing key request + submission for 20 s
# against SQLite, against PostgreSQL (a throwaway cluster), and against SQLite with the server
# killed (SIGKILL) in the middle of the run and restarted: every accepted submission must still
# be stored. Usage: bench/rank_load.sh [build-dir]   (default build-core)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build-core}
bin="$root/$build/bin"
load="$root/$build/bench/korvane-rank-load"
[ -x "$load" ] || load=$(find "$root/$build" -name korvane-rank-load -type f | head -1)
clients=${CLIENTS:-16}
seconds=${SECONDS_PER_RUN:-20}
work=$(mktemp -d "${TMPDIR:-/tmp}/korvane-rank-load-XXXXXX")
server_pid=""
pg_bin=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
  if [ -n "$pg_bin" ]; then runuser -u postgres -- "$pg_bin/pg_ctl" -D "$work/pg/data" -m immediate -w stop >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

start_server() {  # data-dir [extra args...]
  local data=$1; shift
  mkdir -p "$data/modules"
  "$bin/korvane-server" --listen 127.0.0.1:0 --data "$data" --modules "$data/modules" \
    --submit-interval 0 "$@" >"$data/out" 2>>"$data/err" &
  server_pid=$!
  for _ in $(seq 100); do grep -q 'listening' "$data/out" 2>/dev/null && break; sleep 0.1; done
  sleep 0.2
  port=$(sed -n 's/.*:\([0-9]*\)\/$/\1/p' "$data/out")
}
stop_server() { kill "$server_pid"; wait "$server_pid" 2>/dev/null || true; server_pid=""; }
rows() {  # the stored submissions, as the service itself counts them
  curl -s --max-time 60 --retry 5 --retry-connrefused "http://127.0.0.1:$port/api/ranking?group=cpu" |
    python3 -c 'import json,sys; print(sum(g["count"] for g in json.load(sys.stdin)["groups"]))'
}
accepted_of() { python3 -c 'import json,sys; print(json.loads(sys.argv[1])["accepted"])' "$1"; }

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"

echo "== SQLite"
start_server "$work/sqlite"
result=$("$load" --port "$port" --clients "$clients" --seconds "$seconds")
echo "$result"
echo "rows stored: $(rows)  accepted: $(accepted_of "$result")"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
stop_server

echo "== PostgreSQL"
pg_bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1 || true)
if [ -z "$pg_bin" ] || [ ! -x "$pg_bin/initdb" ]; then
  echo "skipped: no PostgreSQL server installed"; pg_bin=""
else
  mkdir -p "$work/pg"; chmod 711 "$work"; chown postgres: "$work/pg"
  runuser -u postgres -- "$pg_bin/initdb" -D "$work/pg/data" -U postgres -A trust >/dev/null
  runuser -u postgres -- "$pg_bin/pg_ctl" -D "$work/pg/data" -w -l "$work/pg/log" \
    -o "-c listen_addresses='' -c unix_socket_directories='$work/pg' -c max_connections=200" start >/dev/null
  start_server "$work/pgdata" --db "postgresql://postgres@/postgres?host=$work/pg"
  result=$("$load" --port "$port" --clients "$clients" --seconds "$seconds")
  echo "$result"
  echo "rows stored: $(rows)  accepted: $(accepted_of "$result")"
  stop_server
fi

echo "== SQLite, server killed with SIGKILL mid-run"
start_server "$work/kill"
"$load" --port "$port" --clients "$clients" --seconds "$seconds" >"$work/kill.json" &
load_pid=$!
sleep "$(python3 -c "print($seconds/2)")"
kill -KILL "$server_pid"; wait "$server_pid" 2>/dev/null || true; server_pid=""
wait "$load_pid"
result=$(cat "$work/kill.json")
echo "$result"
start_server "$work/kill"
stored=$(rows)
acc=$(accepted_of "$result")
echo "after restart: rows stored: $stored  accepted before the kill: $acc"
if [ "$stored" -ge "$acc" ]; then echo "durable: every accepted submission is stored"; else echo "LOST $((acc - stored)) accepted submissions"; exit 1; fi
