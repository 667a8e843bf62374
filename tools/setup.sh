#!/usr/bin/env bash
# Installs every Debian 12 package Korvane needs. Idempotent: installs only what is missing
# and refreshes the package lists only when they are missing or older than a day.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mapfile -t wanted < <(grep -v -E '^\s*(#|$)' "$here/packages.txt")
if [ "${KORVANE_FUZZ:-0}" = 1 ]; then wanted+=(clang libclang-rt-14-dev); fi

missing=()
for p in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#wanted[@]} packages are installed"
  exit 0
fi

sudo=""
if [ "$(id -u)" != 0 ]; then sudo=sudo; fi
lists=/var/lib/apt/lists
if [ -z "$(find "$lists" -maxdepth 1 -name '*_Packages*' -mtime -1 2>/dev/null | head -n1)" ]; then
  echo "setup: refreshing package lists"
  $sudo apt-get update -qq
fi
echo "setup: installing ${missing[*]}"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
