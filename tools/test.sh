#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: first the core libraries under
# AddressSanitizer/UndefinedBehaviorSanitizer (no GUI), then the full program with its widget
# tests, and last the Debian package built from that tree (tools/check-package.sh). Set
# KORVANE_QUICK=1 to skip the sanitizer pass.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/setup.sh

export QT_QPA_PLATFORM=offscreen
export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --no-sandbox"
if [ -z "${XDG_RUNTIME_DIR:-}" ] || [ ! -w "${XDG_RUNTIME_DIR}" ]; then
  export XDG_RUNTIME_DIR=$(mktemp -d /tmp/korvane-runtime.XXXXXX)
  chmod 700 "$XDG_RUNTIME_DIR"
fi
jobs=$(nproc)

run_ctest() {  # the session bus exists only for the tests' lifetime
  dbus-run-session -- ctest --test-dir "$1" --output-on-failure -j "$jobs" --timeout 600
}

if [ "${KORVANE_QUICK:-0}" != 1 ]; then
  echo "== sanitizer build (core, ASan+UBSan)"
  bash tools/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DKORVANE_SANITIZE=ON -DKORVANE_BUILD_GUI=OFF
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 run_ctest build-asan
fi

echo "== full build"
bash tools/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_ctest build

echo "== Debian package"
bash tools/check-package.sh build
