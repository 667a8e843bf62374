#!/usr/bin/env bash
# Fails when a layer reaches upward: Qt below ui/ and app/, or the platform layer including
# program code. Also checks that a core-only translation unit never names Qt in its build.
set -u
root=${1:?source root}
fail=0
# ui/logic sits inside the GUI folder but is built without Qt (also in the core build).
core="platform config hwlib sysinfo detect summary bench scores online qmlog qmwin7 qmupdate ui/logic"
for d in $core; do
  [ -d "$root/src/$d" ] || continue
  hits=$(grep -rn -E '^\s*#\s*include\s*<(Q[A-Z][A-Za-z]+(/[A-Za-z]+)?|Qt[A-Za-z]+/[A-Za-z]+)>' "$root/src/$d" 2>/dev/null)
  if [ -n "$hits" ]; then echo "Qt included below the GUI layers in src/$d:"; echo "$hits"; fail=1; fi
  hits=$(grep -n 'Qt6::' "$root/src/$d/CMakeLists.txt" 2>/dev/null)
  if [ -n "$hits" ]; then echo "src/$d links Qt:"; echo "$hits"; fail=1; fi
done
# The Qt-free part of ui/ must not reach into the widgets beside it or the application above.
hits=$(grep -rn -E '^\s*#\s*include\s*"(ui/[A-Za-z]+\.h|app/)' "$root/src/ui/logic" 2>/dev/null)
if [ -n "$hits" ]; then echo "src/ui/logic includes Qt code:"; echo "$hits"; fail=1; fi
hits=$(grep -rn -E '^\s*#\s*include\s*<(Q[A-Z][A-Za-z]+(/[A-Za-z]+)?|Qt[A-Za-z]+/[A-Za-z]+)>' "$root/hwprobe" 2>/dev/null)
if [ -n "$hits" ]; then echo "Qt included in hwprobe:"; echo "$hits"; fail=1; fi
hits=$(grep -rn -E '^\s*#\s*include\s*<(Q[A-Z][A-Za-z]+(/[A-Za-z]+)?|Qt[A-Za-z]+/[A-Za-z]+)>' "$root/server" 2>/dev/null)
if [ -n "$hits" ]; then echo "Qt included in the server:"; echo "$hits"; fail=1; fi
hits=$(grep -rn -E '^\s*#\s*include\s*"(config|hwlib|sysinfo|detect|summary|bench|scores|online|ui|app)/' "$root/src/platform" 2>/dev/null)
if [ -n "$hits" ]; then echo "platform includes program code:"; echo "$hits"; fail=1; fi
# A lower layer must not include a higher one (order: platform < config < hwlib,sysinfo < detect < bench,scores < online < summary).
rank() { case $1 in platform) echo 0;; config) echo 1;; hwlib|sysinfo|bench|scores) echo 2;; detect|online) echo 3;; summary) echo 4;; ui) echo 5;; app) echo 6;; *) echo 9;; esac; }
for d in config hwlib sysinfo detect summary bench scores online; do
  [ -d "$root/src/$d" ] || continue
  r=$(rank "$d")
  while IFS= read -r line; do
    inc=$(sed -E 's/.*#\s*include\s*"([a-z]+)\/.*/\1/' <<<"$line")
    ri=$(rank "$inc")
    if [ "$ri" != 9 ] && [ "$ri" -gt "$r" ]; then echo "upward include in src/$d: $line"; fail=1; fi
  done < <(grep -rn -E '^\s*#\s*include\s*"[a-z]+/' "$root/src/$d" 2>/dev/null)
done
[ $fail = 0 ] && echo "layering holds"
exit $fail
