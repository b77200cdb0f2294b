#!/usr/bin/env bash
# The Debian package: cpack builds zorva_<version>_amd64.deb; it holds what
# the README lists, depends on what its binaries need and on no build tool,
# lintian finds no error in it, and its launcher, unpacked into a scratch
# root, starts the client in a fresh per-user folder.
#
# usage: package_e2e.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/e2e_common.sh"
e2e_begin_with_build e2e_package_failure.png "$@"

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/out" >"$tmp/cpack.log" 2>&1 ||
  e2e_fail "cpack failed"
deb=$(ls "$tmp"/out/zorva_*_amd64.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || e2e_fail "no zorva_<version>_amd64.deb"
version=$(dpkg-deb -f "$deb" Version)
[ "$(basename "$deb")" = "zorva_${version}_amd64.deb" ] || e2e_fail "the package is named $(basename "$deb")"

dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's:^\./:/:' >"$tmp/contents.log"
for f in /usr/bin/zorva /usr/lib/zorva/zorva /usr/lib/zorva/zupdate.exe /usr/lib/zorva/zorva.xml \
  /usr/lib/zorva/help/help.htm /usr/lib/zorva/player/ruffle.js /usr/lib/zorva/player/LICENSE_MIT \
  /usr/lib/zorva/player/LICENSE_APACHE /usr/share/applications/zorva.desktop \
  /usr/share/icons/hicolor/scalable/apps/zorva.svg /usr/share/doc/zorva/copyright \
  /usr/share/doc/zorva/changelog.gz; do
  grep -qx "$f" "$tmp/contents.log" || e2e_fail "the package does not hold $f"
done
grep -q '^/usr/lib/zorva/player/.*\.wasm$' "$tmp/contents.log" || e2e_fail "the package holds no player .wasm"
! grep -q '\.map$\|node_modules' "$tmp/contents.log" || e2e_fail "the package holds build-only files"

depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 libqt6webenginewidgets6 libcurl4 libnettle8 libhogweed6 fonts-noto-cjk; do
  grep -q "\b$d\b" <<<"$depends" || e2e_fail "Depends lacks $d: $depends"
done
! grep -qE '\b(nodejs|npm|cmake|ninja-build)\b' <<<"$depends" || e2e_fail "Depends names a build tool: $depends"
copyright=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/zorva/copyright)
grep -q 'usr/lib/zorva/player' <<<"$copyright" ||
  e2e_fail "the copyright file does not name the player"

lintian --no-tag-display-limit "$deb" >"$tmp/lintian.log" 2>&1 || true
! grep -q '^E:' "$tmp/lintian.log" || e2e_fail "lintian reports errors: $(grep '^E:' "$tmp/lintian.log")"

# The launcher of the unpacked package starts the client in a fresh folder.
dpkg-deb -x "$deb" "$tmp/root"
export XDG_DATA_HOME=$tmp/data HOME=$tmp/home
export ZORVA_SERVER_CANDIDATES="http://127.0.0.1:1"  # nothing answers: the login dialog waits
work=$XDG_DATA_HOME/zorva
"$tmp/root/usr/bin/zorva" >"$tmp/client.log" 2>&1 &
client_pid=$!
e2e_pids+=("$client_pid")
for _ in $(seq 100); do
  grep -q " info: start .* in $work\$" "$work/zorva.log" 2>/dev/null && break
  kill -0 "$client_pid" 2>/dev/null || e2e_fail "the client ended at start"
  sleep 0.1
done
grep -q " info: start .* in $work\$" "$work/zorva.log" 2>/dev/null || e2e_fail "the client did not start in $work"
[ "$(readlink -f "/proc/$client_pid/exe")" = "$work/zorva" ] || e2e_fail "the client does not run from $work"
cmp -s "$tmp/root/usr/lib/zorva/zorva" "$work/zorva" || e2e_fail "the program was not copied into $work"
echo "PASS: $(basename "$deb") builds, holds the program, passes lintian and starts"
