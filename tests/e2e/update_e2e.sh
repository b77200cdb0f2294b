#!/usr/bin/env bash
# End to end: the updater with the real client and servers under Xvfb, one
# scenario per run (each its own ctest entry):
#   accept    A client at version 1.0 is offered 2.1; the user accepts; the
#             client ends with code 1, the updater applies the job and starts
#             the client again, which signs in with "... 版本2.1" in its title.
#   tampered  A tampered job is refused with a message, and nothing changes
#             but the job, which is used up.
#   cancel    Cancel while a file stalls halfway leaves everything as it was.
# "As it was" compares every path, mode and byte, except the log file and
# the used-up job.
#
# usage: update_e2e.sh SCENARIO ZORVA ZUPDATE ZORVA_SERVER FAULTY_SERVER SERVER_DIR HELP_PAGE ARTIFACT_DIR
set -euo pipefail

source "$(dirname "$0")/e2e_common.sh"
e2e_take_args "SCENARIO ZORVA ZUPDATE ZORVA_SERVER FAULTY_SERVER SERVER_DIR HELP_PAGE ARTIFACT_DIR" \
  "scenario zorva zupdate server faulty server_dir help_page artifacts" "$@"
unset ZORVA_CLIENT_PID ZORVA_CLIENT_PROGRAM
user=e2euser
password=e2e-Pass1
e2e_begin "e2e_update_${scenario}_failure.png"
e2e_show_logs() {
  for log in "$work"/*.log "$work"/*.out "$work"/*/zorva.log; do
    [ -f "$log" ] && { echo "--- $log"; tail -n 30 "$log"; }
  done
  echo "--- processes"
  ps -eo pid,ppid,stat,etime,args | grep -E 'zorva|zupdate' | grep -v grep || true
}

# The sample content with the 2.1 update laid over it.
content=$work/content
mkdir -p "$content"
cp -r "$server_dir/sample-content/." "$content/"
cp -r "$server_dir/sample-update/." "$content/"

e2e_start_server "$user" "$password" "$content"
real_base=$base

# A working directory as an installation at version 1.0 holds it.
printf '<?xml version="1.0" encoding="gb2312"?>\r\n<zorva>1.0</zorva>\r\n' >"$work/version-1.0.xml"
new_workdir() {
  e2e_prepare_client_dir "$1" "$work/version-1.0.xml" "$help_page" "$zupdate"
  mkdir -p "$1/dl"
}

# Every path with its kind and mode, and every file's hash; not the log, not
# the job.
snapshot() {
  (cd "$1" && find . \( -path ./zorva.log -o -path ./dl/download.xml \) -prune -o -printf '%y %m %p\n' |
    sort && find . -type f ! -path ./zorva.log ! -path ./dl/download.xml -print0 | sort -z |
    xargs -0 sha256sum)
}

scenario_accept() {
client_dir=$work/client
new_workdir "$client_dir"
export ZORVA_SERVER_CANDIDATES="http://127.0.0.1:1;$real_base"
e2e_start_client "$client_dir" "$work/client.out"
e2e_sign_in --replace-name "$user" "$password"
e2e_accept_program_update e2e_update_question.png

e2e_sign_in --replace-name "$user" "$password"
e2e_find_main_frame 2.1
e2e_pids+=("$(xdotool getwindowpid "$frame")")
e2e_shot e2e_update_main_frame.png
cmp -s "$content/dl/zorva-2.1/zorva.xml" "$client_dir/zorva.xml" || e2e_fail "zorva.xml is not 2.1's"
cmp -s "$content/dl/zorva-2.1/help/whatsnew.htm" "$client_dir/help/whatsnew.htm" ||
  e2e_fail "help/whatsnew.htm is not in place"
[ -z "$(ls "$client_dir/dl")" ] || e2e_fail "the job was not used up: dl/ holds $(ls "$client_dir/dl")"
grep -q 'zupdate\[[0-9]*\] info: update applied' "$client_dir/zorva.log" ||
  e2e_fail "the log does not say the update was applied"
kill "${e2e_pids[-1]}" 2>/dev/null || true
echo "ok: 1.0 -> 2.1 through the client, back at 2.1"
}

scenario_tampered() {
tampered=$work/tampered
new_workdir "$tampered"
sed 's/<restart>1</<restart>0</' "$content/dl/download.xml" >"$tampered/dl/download.xml"
cmp -s "$content/dl/download.xml" "$tampered/dl/download.xml" && e2e_fail "the job was not changed"
before=$(snapshot "$tampered")
(cd "$tampered" && exec "$zupdate") >"$work/tampered.out" 2>&1 &
updater_pid=$!
e2e_pids+=("$updater_pid")
box=$(timeout 60 xdotool search --sync --onlyvisible --name '^zupdate$' | head -n 1) ||
  e2e_fail "the updater showed no message for a tampered job"
sleep 0.5
import -window root "$artifacts/e2e_update_tampered.png"
xdotool windowfocus --sync "$box" || true
xdotool key Return
code=0
wait "$updater_pid" || code=$?
[ "$code" = 1 ] || e2e_fail "the updater ended with code $code for a tampered job, not 1"
grep -q '签名无效' "$work/tampered.out" || e2e_fail "the refusal does not name the signature"
[ "$(snapshot "$tampered")" = "$before" ] || e2e_fail "a tampered job changed the working directory"
[ ! -e "$tampered/dl/download.xml" ] || e2e_fail "the tampered job was not used up"
echo "ok: a tampered job is refused and changes nothing"
}

scenario_cancel() {
cancel_dir=$work/cancel
new_workdir "$cancel_dir"
cp "$content/dl/download.xml" "$cancel_dir/dl/download.xml"
e2e_start_listening "$work/stall-server.out" "$work/stall-server.out.log" "$faulty" "$content" --stall /dl/zorva-2.1/zorva.xml
before=$(snapshot "$cancel_dir")
(cd "$cancel_dir" && ZORVA_SERVER_CANDIDATES="$base" exec "$zupdate") >"$work/cancel.out" 2>&1 &
updater_pid=$!
e2e_pids+=("$updater_pid")
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Zorva 更新$' | head -n 1) ||
  e2e_fail "the updater window did not appear"
for _ in $(seq 100); do
  grep -q '正在下载 zorva.xml（2/2）' "$work/cancel.out" && break
  sleep 0.1
done
ls -d "$cancel_dir"/dl/update-* >/dev/null 2>&1 || e2e_fail "no staging folder while downloading"
e2e_shot e2e_update_cancel.png
xdotool windowfocus --sync "$window" || true
xdotool key space
code=0
wait "$updater_pid" || code=$?
[ "$code" = 2 ] || e2e_fail "the updater ended with code $code after cancel, not 2"
[ "$(snapshot "$cancel_dir")" = "$before" ] || e2e_fail "cancel left the working directory changed"
echo "ok: cancel restores everything"
}

case $scenario in
  accept | tampered | cancel) "scenario_$scenario" ;;
  *) e2e_fail "no scenario $scenario" ;;
esac
echo "PASS: update end to end ($scenario); screenshots in $artifacts/e2e_update_*.png"
