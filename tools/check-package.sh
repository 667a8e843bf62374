#!/usr/bin/env bash
# Builds the Debian package from an already-built tree and checks it the way a user meets it:
# the installed layout, the installed programs run from where the package puts them, the
# service unit serves the ranking page, and the desktop, AppStream, man page and lintian
# checks pass. Usage: tools/check-package.sh [build-dir]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
work=$(mktemp -d "$build/package-check.XXXXXX")
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "package: FAIL: $*" >&2; failures=$((failures + 1)); }
ok() { echo "package: ok: $*"; }

echo "== package: cpack"
# The tree is built already; cpack only installs it into its staging folder and packs.
(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || {
  cat "$work/cpack.log" >&2
  echo "package: cpack failed" >&2
  exit 1
}
deb=$(ls "$work"/out/korvane_*.deb)
version=$(dpkg-deb -f "$deb" Version)
depends=$(dpkg-deb -f "$deb" Depends)
echo "package: $(basename "$deb"), $(du -k "$deb" | cut -f1) kB"
echo "package: Depends: $depends"

# --- Layout -------------------------------------------------------------------------------
dest="$work/root"
dpkg-deb -x "$deb" "$dest"
for f in usr/bin/korvane-server \
  usr/lib/korvane/korvane usr/lib/korvane/korvane-window usr/lib/korvane/qmupdate \
  usr/lib/korvane/qmlog.so usr/lib/korvane/qmwin7.so \
  usr/share/applications/korvane.desktop \
  usr/share/icons/hicolor/scalable/apps/korvane.svg \
  usr/share/metainfo/io.korvane.Korvane.metainfo.xml \
  usr/share/man/man1/korvane.1.gz usr/share/man/man1/korvane-server.1.gz \
  usr/lib/systemd/user/korvane-server.service \
  usr/share/doc/korvane/copyright usr/share/doc/korvane/changelog.gz; do
  [ -f "$dest/$f" ] || fail "missing /$f"
done
if [ "$(readlink "$dest/usr/bin/korvane")" = ../lib/korvane/korvane ]; then
  ok "/usr/bin/korvane links to /usr/lib/korvane/korvane"
else
  fail "/usr/bin/korvane is not the link to ../lib/korvane/korvane"
fi
# Nothing outside the places above, and nothing that points back into a build tree.
stray=$(cd "$dest" && find . -type f -o -type l | grep -v -E '^\./usr/(bin|lib/korvane|lib/systemd/user|share/(applications|icons|metainfo|man/man1|doc/korvane))/' || true)
[ -z "$stray" ] || fail "files in unexpected places: $stray"
for elf in "$dest"/usr/bin/korvane-server "$dest"/usr/lib/korvane/*; do
  if readelf -d "$elf" 2>/dev/null | grep -E 'R(UN)?PATH' | grep -q -F "$root"; then
    fail "$(basename "$elf") keeps a build-tree library path"
  fi
  if readelf -S "$elf" 2>/dev/null | grep -q '\.debug_info'; then fail "$(basename "$elf") is not stripped"; fi
done

# --- Dependencies -------------------------------------------------------------------------
# The hardware library is written out and loaded at run time, so dpkg-shlibdeps never sees it
# in the package: its libraries' packages must be named by hand. Ask dpkg-shlibdeps about the
# library itself and compare.
if [ -f "$build/bin/qmhdwlib.so" ]; then
  mkdir -p "$work/shlibs/debian" && : >"$work/shlibs/debian/control"
  hw=$(cd "$work/shlibs" && dpkg-shlibdeps -O "$build/bin/qmhdwlib.so" 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
  for p in $(echo "$hw" | tr ',' '\n' | sed 's/(.*//; s/|.*//' | tr -d ' '); do
    [ "$p" = libc6 ] || [ "$p" = libstdc++6 ] || [ "$p" = libgcc-s1 ] && continue
    echo "$depends" | tr ',' '\n' | sed 's/(.*//' | tr -d ' ' | grep -qx "$p" \
      || fail "Depends lacks $p, which the embedded hardware library links"
  done
fi
for p in libqt6webenginewidgets6 libqt6widgets6 libsqlite3-0 libcurl4 libqt6webenginecore6-bin; do
  echo "$depends" | grep -q -E "(^|, )$p( |,|$)" || fail "Depends lacks $p"
done
[ "$failures" = 0 ] && ok "layout and dependencies"
if apt-get install --simulate -q "$deb" >"$work/apt.log" 2>&1; then
  ok "apt-get install --simulate ./$(basename "$deb") resolves"
else
  sed 's/^/    /' "$work/apt.log" >&2
  fail "apt-get cannot install the package"
fi

# --- The installed programs -------------------------------------------------------------
# Run from the unpacked tree with a home of their own, so the user's settings stay untouched.
home="$work/home"
mkdir -p "$home/runtime" && chmod 700 "$home/runtime"
installed_env=(-u KORVANE_SERVER_BASE -u KORVANE_SYSROOT HOME="$home" XDG_CONFIG_HOME="$home/config"
  XDG_CACHE_HOME="$home/cache" XDG_STATE_HOME="$home/state" XDG_DATA_HOME="$home/data"
  XDG_RUNTIME_DIR="$home/runtime" LC_ALL=C)
run_installed() { env "${installed_env[@]}" "$@"; }
got=$(run_installed "$dest/usr/bin/korvane" --version) || fail "korvane --version exits with $?"
[ "$got" = "Korvane $version" ] && ok "korvane --version: $got" || fail "korvane --version says '$got', the package is $version"
if run_installed "$dest/usr/bin/korvane" --report >"$work/report.txt" 2>"$work/report.err" &&
  [ "$(grep -c . "$work/report.txt")" -gt 8 ]; then
  ok "korvane --report ($(wc -l <"$work/report.txt") lines)"
else
  cat "$work/report.err" >&2
  fail "korvane --report"
fi
got=$(run_installed "$dest/usr/bin/korvane-server" --help) || fail "korvane-server --help exits with $?"
echo "$got" | grep -q -- '--listen' && ok "korvane-server --help" || fail "korvane-server --help prints no options"

# The user unit's own command line, on a free port instead of the fixed one so a running
# service is not disturbed: it must come up and serve the ranking page.
exec_start=$(sed -n 's/^ExecStart=//p' "$dest/usr/lib/systemd/user/korvane-server.service")
read -r -a cmd <<<"$exec_start"
[ "${cmd[0]}" = /usr/bin/korvane-server ] || fail "the unit starts ${cmd[0]}, not /usr/bin/korvane-server"
cmd[0]="$dest/usr/bin/korvane-server"
for i in "${!cmd[@]}"; do [ "${cmd[$i]}" = 127.0.0.1:8086 ] && cmd[$i]=127.0.0.1:0; done
# env execs the server, so $! is the server itself and the kill below reaches it.
env "${installed_env[@]}" "${cmd[@]}" >"$work/server.out" 2>"$work/server.err" &
server_pid=$!
port=""
for _ in $(seq 1 300); do
  port=$(sed -n 's|.*listening on http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' "$work/server.out")
  [ -n "$port" ] && break
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$port" ]; then
  cat "$work/server.err" >&2
  fail "the unit's korvane-server did not start listening"
else
  status=$(
    exec 3<>"/dev/tcp/127.0.0.1/$port"
    printf 'GET /html/korvane/rank.htm HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n' >&3
    head -n1 <&3 | tr -d '\r'
  )
  [ -f "$home/data/korvane-server/drivers.sqlite" ] || fail "the service keeps no store in the user's data folder"
  case "$status" in
    *" 200"*) ok "the unit's command serves /html/korvane/rank.htm ($status), store in XDG_DATA_HOME" ;;
    *) fail "GET /html/korvane/rank.htm answered '$status'" ;;
  esac
fi
kill "$server_pid" 2>/dev/null || true
wait "$server_pid" 2>/dev/null || true
server_pid=""
if command -v systemd-analyze >/dev/null 2>&1; then
  # The unit's program must exist where the unit names it: check a copy pointing into the tree.
  sed "s|/usr/bin/korvane-server|$dest/usr/bin/korvane-server|" \
    "$dest/usr/lib/systemd/user/korvane-server.service" >"$work/korvane-server.service"
  if out=$(systemd-analyze verify --man=no "$work/korvane-server.service" 2>&1) && [ -z "$out" ]; then
    ok "systemd-analyze verify"
  else
    echo "$out" | sed 's/^/    /'
    fail "systemd-analyze verify"
  fi
fi

# --- Desktop files, AppStream, man pages, lintian ---------------------------------------
desktop-file-validate "$dest/usr/share/applications/korvane.desktop" && ok "desktop-file-validate" || fail "desktop-file-validate"
appstreamcli validate --no-net --pedantic "$dest/usr/share/metainfo/io.korvane.Korvane.metainfo.xml" >"$work/as.log" 2>&1 \
  && ok "appstreamcli validate" || { cat "$work/as.log"; fail "appstreamcli validate"; }
release=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$dest/usr/share/metainfo/io.korvane.Korvane.metainfo.xml" | head -n1)
[ "$release" = "$version" ] || fail "the AppStream data's newest release is $release, the package $version"
for page in korvane korvane-server; do
  warnings=$(MANWIDTH=80 man --warnings -l "$dest/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null || echo "man failed")
  [ -z "$warnings" ] && ok "man page $page(1)" || fail "man page $page(1): $warnings"
done
# Every mode and option the programs list in --help is in their man page.
man_text() { LC_ALL=C MANWIDTH=200 man -l "$dest/usr/share/man/man1/$1.1.gz" 2>/dev/null; }
text=$(man_text korvane)
for opt in $(run_installed "$dest/usr/bin/korvane" --help | grep -o -E '(^| |\[)--[a-z-]+|/[a-z]+score' | tr -d ' [' | sort -u); do
  [[ "$text" == *"$opt"* ]] || fail "korvane(1) does not mention $opt"
done
text=$(man_text korvane-server)
for opt in $(run_installed "$dest/usr/bin/korvane-server" --help | grep -o -E '^ *--[a-z-]+' | tr -d ' ' | sort -u); do
  [[ "$text" == *"$opt"* ]] || fail "korvane-server(1) does not mention $opt"
done
if command -v lintian >/dev/null 2>&1; then
  lintian --allow-root --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
  sed 's/^/    /' "$work/lintian.log"
  if grep -q '^E:' "$work/lintian.log"; then fail "lintian reports errors"; else ok "lintian: no errors ($(grep -c '^W:' "$work/lintian.log" || true) warnings)"; fi
fi

if [ "$failures" != 0 ]; then
  echo "package: $failures check(s) failed" >&2
  exit 1
fi
echo "package: all checks passed"
