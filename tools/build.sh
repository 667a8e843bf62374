#!/usr/bin/env bash
# Configures and builds one build tree. Usage: tools/build.sh <build-dir> [cmake options...]
# KORVANE_TARGETS="a b" builds only those targets.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}; shift || true
export CCACHE_BASEDIR="$root"
cmake -S "$root" -B "$root/$dir" -G Ninja "$@" >/dev/null
if [ -n "${KORVANE_TARGETS:-}" ]; then
  # shellcheck disable=SC2086
  cmake --build "$root/$dir" --target $KORVANE_TARGETS
else
  cmake --build "$root/$dir"
fi
