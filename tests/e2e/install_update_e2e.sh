#!/usr/bin/env bash
# An installed user's whole update loop under Xvfb: `cmake --install` into a
# temporary prefix; the launcher copies the program into the user's folder
# and starts the client there; a signed program job replaces the client
# binary with a newer build; the restarted client shows the new version;
# then an upgrade of the package to a still newer version wins over the
# self-update at the next start through the launcher.
#
# usage: install_update_e2e.sh BUILD_DIR ZORVA_SERVER ZORVA_TOOL SERVER_DIR ARTIFACT_DIR
set -euo pipefail

source "$(dirname "$0")/e2e_common.sh"
e2e_take_args "BUILD_DIR ZORVA_SERVER ZORVA_TOOL SERVER_DIR ARTIFACT_DIR" \
  "build server tool server_dir artifacts" "$@"
unset ZORVA_CLIENT_PID ZORVA_CLIENT_PROGRAM
user=e2euser
password=e2e-Pass1
e2e_begin e2e_install_update_failure.png
e2e_show_logs() {
  for log in "$work"/*.log "$work"/*.out "$work"/data/zorva/zorva.log; do
    [ -f "$log" ] && { echo "--- $log"; tail -n 30 "$log"; }
  done
}

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.out" 2>&1 ||
  e2e_fail "cmake --install failed"
package=$prefix/lib/zorva
export XDG_DATA_HOME=$work/data
export HOME=$work/home
user_dir=$XDG_DATA_HOME/zorva

# Version 2.1 on the server: a newer build of the client (the installed one
# with bytes of its own at its end, which changes nothing when it runs) and
# its version file, in a job signed with the demo key the build trusts.
content=$work/content
mkdir -p "$content"
cp -r "$server_dir/sample-content/." "$content/"
version_file() { printf '<?xml version="1.0" encoding="gb2312"?>\r\n<zorva>%s</zorva>\r\n' "$1"; }
mkdir -p "$content/dl/zorva-2.1"
{ cat "$package/zorva"; printf '\nbuild 2.1\n'; } >"$content/dl/zorva-2.1/zorva"
chmod 0755 "$content/dl/zorva-2.1/zorva"
version_file 2.1 >"$content/dl/zorva-2.1/zorva.xml"
cp "$content/dl/zorva-2.1/zorva.xml" "$content/zorva.xml"
"$tool" make-job "$content/dl/zorva-2.1" /dl/zorva-2.1 "$content/dl/download.xml" \
  --restart --version 2.1 2>/dev/null || e2e_fail "make-job failed"
"$tool" sign-job "$content/dl/download.xml" "$server_dir/sample-job-key.txt" 2>/dev/null ||
  e2e_fail "sign-job failed"
e2e_start_server "$user" "$password" "$content"
export ZORVA_SERVER_CANDIDATES="$base"

start_launcher() {
  "$prefix/bin/zorva" >"$work/client.out" 2>&1 &
  client_pid=$!
  e2e_pids+=("$client_pid")
}
# The client of a given version is up, and is ended with the test.
wait_version() {
  e2e_find_main_frame "$1"
  e2e_pids+=("$(xdotool getwindowpid "$frame")")
}

# First start: the program is copied in, and the client runs from there.
start_launcher
e2e_sign_in "$user" "$password"
for f in zorva zupdate.exe zorva.xml help/help.htm player/ruffle.js; do
  cmp -s "$package/$f" "$user_dir/$f" || e2e_fail "$f was not copied into $user_dir"
done
grep -q " info: start .* in $user_dir\$" "$user_dir/zorva.log" ||
  e2e_fail "the client did not start in $user_dir"
[ "$(readlink -f "/proc/$client_pid/exe")" = "$user_dir/zorva" ] ||
  e2e_fail "the client runs from $(readlink -f "/proc/$client_pid/exe"), not from $user_dir"

# The program update replaces the client itself; the restarted client is
# the new build and says 2.1.
e2e_accept_program_update
e2e_sign_in --replace-name "$user" "$password"
wait_version 2.1
import -window root "$artifacts/e2e_install_update_2.1.png"
cmp -s "$content/dl/zorva-2.1/zorva" "$user_dir/zorva" || e2e_fail "the client binary was not updated"
[ "$(readlink -f "/proc/${e2e_pids[-1]}/exe")" = "$user_dir/zorva" ] ||
  e2e_fail "the restarted client is not the user's copy"
kill "${e2e_pids[-1]}"
# (The updater started it, so it is no child to wait for.)
for _ in $(seq 100); do
  kill -0 "${e2e_pids[-1]}" 2>/dev/null || break
  sleep 0.1
done
# With its last client gone the X server resets, refusing connections for a
# moment: wait until it takes one again.
for _ in $(seq 100); do
  xdotool getmouselocation >/dev/null 2>&1 && break
  sleep 0.1
done
echo "ok: installed, started through the launcher, updated to 2.1 with a new client binary"

# A package at 3.0 wins over the 2.1 self-update; the user's own files stay.
version_file 3.0 >"$package/zorva.xml"
printf "saved" >"$user_dir/someone.dat"
start_launcher
e2e_sign_in --replace-name "$user" "$password"
wait_version 3.0
cmp -s "$package/zorva" "$user_dir/zorva" || e2e_fail "the package's client did not replace 2.1's"
cmp -s "$package/zorva.xml" "$user_dir/zorva.xml" || e2e_fail "the version file is not 3.0's"
[ "$(cat "$user_dir/someone.dat")" = saved ] || e2e_fail "a user's file was touched"
[ -f "$user_dir/zorva_user.xml" ] || e2e_fail "the users file is gone"
echo "PASS: the package upgrade to 3.0 won over the self-update"
