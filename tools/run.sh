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

bash tools/local-server.sh "$bin" || true  # the program works without its service, too

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$bin/korvane" "$@"
fi
"$bin/korvane" --report
echo
echo "No display found, so this was the hardware report (every reading: korvane --diagnose)."
echo "Start the window on a desktop with: $bin/korvane"
echo "or without a screen: xvfb-run -a $bin/korvane"
