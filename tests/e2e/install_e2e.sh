#!/usr/bin/env bash
# Installing for a desktop user: `cmake --install` into a temporary prefix,
# then starting through the installed launcher puts the program into the
# per-user working directory and starts the client there, a second start
# keeps what the user (or an update) changed there, and a build that trusts
# the demo key says so at install time and in its updater.
#
# usage: install_e2e.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/e2e_common.sh"
e2e_begin_with_build e2e_install_failure.png "$@"

prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 || e2e_fail "cmake --install failed: $(cat "$tmp/install.log")"
grep -q "demo key, not for real installations" "$tmp/install.log" ||
  e2e_fail "installing a build that trusts the demo key gave no warning"
"$prefix/lib/zorva/zupdate.exe" --version | grep -q '^update key: [0-9a-f]\{64\} (demo key, not for real installations)$' ||
  e2e_fail "zupdate.exe --version does not name the demo key"
for f in bin/zorva lib/zorva/zorva lib/zorva/zupdate.exe lib/zorva/player/ruffle.js \
  lib/zorva/player/LICENSE_MIT lib/zorva/player/LICENSE_APACHE lib/zorva/zorva.xml \
  lib/zorva/help/help.htm share/applications/zorva.desktop \
  share/icons/hicolor/scalable/apps/zorva.svg; do
  [ -e "$prefix/$f" ] || e2e_fail "$f is not installed"
done
ls "$prefix"/lib/zorva/player/*.wasm >/dev/null 2>&1 || e2e_fail "the player runtime's wasm files are not installed"
grep -qx "Exec=\"$prefix/bin/zorva\"" "$prefix/share/applications/zorva.desktop" ||
  e2e_fail "the desktop entry does not start the installed launcher"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/zorva.desktop" || e2e_fail "invalid desktop entry"
fi

"$prefix/bin/zorva" --version | grep -qx 'zorva [0-9.]*' || e2e_fail "zorva --version"
"$prefix/bin/zorva" --help | grep -q '^usage: zorva' || e2e_fail "zorva --help"

export XDG_DATA_HOME=$tmp/data
export HOME=$tmp/home
work=$XDG_DATA_HOME/zorva
# Nothing listens here, so the client waits at its login dialog.
export ZORVA_SERVER_CANDIDATES="http://127.0.0.1:1"

starts() { { cat "$work/zorva.log" 2>/dev/null || true; } | grep -c ' info: start ' || true; }
start_client() {  # start_client [PROGRAM]: through the launcher unless PROGRAM is given
  local before
  before=$(starts)
  (cd "$work" 2>/dev/null || true; exec "${1:-$prefix/bin/zorva}") >"$tmp/client.out" 2>&1 &
  client_pid=$!
  e2e_pids+=("$client_pid")
  for _ in $(seq 100); do
    [ "$(starts)" -gt "$before" ] && return 0
    kill -0 "$client_pid" 2>/dev/null || e2e_fail "the client ended at start"
    sleep 0.1
  done
  e2e_fail "the client wrote no start line to $work/zorva.log"
}
stop_client() {
  kill "$client_pid" 2>/dev/null || true
  wait "$client_pid" 2>/dev/null || true
  client_pid=
}

start_client
stop_client
for f in zorva zupdate.exe zorva.xml help/help.htm player/ruffle.js; do
  cmp -s "$prefix/lib/zorva/$f" "$work/$f" || e2e_fail "$f was not copied into $work"
done
[ -x "$work/zupdate.exe" ] && [ -x "$work/zorva" ] || e2e_fail "the program is not executable"
grep -q 'zupdate\[[0-9]*\] info: update key: .*demo key, not for real installations' "$work/zorva.log" ||
  e2e_fail "the updater's log does not name the demo key"
[ -d "$work/dl" ] || e2e_fail "dl/ was not prepared"
[ "$(stat -c %a "$work")" = 700 ] || e2e_fail "the working directory is not the user's alone"
grep -q " info: start .* in $work\$" "$work/zorva.log" || e2e_fail "the client did not start in $work"

# An update's changes stay while the package is not newer.
printf '<zorva>99</zorva>' >"$work/zorva.xml"
printf 'updated' >"$work/help/help.htm"
start_client
stop_client
[ "$(cat "$work/zorva.xml")" = '<zorva>99</zorva>' ] || e2e_fail "the second start overwrote zorva.xml"
[ "$(cat "$work/help/help.htm")" = updated ] || e2e_fail "the second start overwrote the help page"
[ -z "$(find "$prefix" -newer "$tmp/install.log" -type f)" ] || e2e_fail "the client wrote into the installation"

# An update killed while it put files in place (its journal names the help
# page, whose old copy is the second link in old/): the client's next start,
# even without the launcher, rolls it back before reading anything.
killed=$work/dl/update-killed
mkdir -p "$killed/old" "$killed/new"
ln "$work/help/help.htm" "$killed/old/1"
printf 'half-updated' >"$work/help/help.htm.new"
mv "$work/help/help.htm.new" "$work/help/help.htm"
printf 'zupdate journal 1\nf 1 1 help/help.htm\nend\n' >"$killed/journal"
start_client "$work/zorva"
stop_client
[ "$(cat "$work/help/help.htm")" = updated ] || e2e_fail "the client did not roll back the killed update"
[ ! -e "$killed" ] || e2e_fail "the killed update's staging folder is still there"
grep -q 'zorva\[[0-9]*\] warning: an interrupted update was rolled back' "$work/zorva.log" ||
  e2e_fail "the client's log does not say it rolled back an update"

echo "PASS: installed into $prefix; the launcher prepared $work"
