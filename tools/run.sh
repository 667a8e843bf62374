#!/usr/bin/env bash
# Installs what is missing, builds, and starts Korvane: the window when a display is present,
# otherwise the hardware report in the terminal.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/setup.sh
# The program and the libraries it loads; the tests are built by tools/test.sh.
KORVANE_TARGETS="korvane qmlog qmwin7 qmupdate" bash tools/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$root/build/bin/korvane" "$@"
fi
"$root/build/bin/korvane" --report
echo
echo "No display found, so this was the hardware report (every reading: korvane --diagnose)."
echo "Start the window on a desktop with: $root/build/bin/korvane"
echo "or without a screen: xvfb-run -a $root/build/bin/korvane"
