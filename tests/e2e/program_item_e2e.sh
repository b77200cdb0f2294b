#!/usr/bin/env bash
# End to end: a catalogue program item through the real zorva under Xvfb,
# against a real zorva-server and its sample content, as a user meets it.
#  1. The user selects 数字连连看 in the tree and presses "播放". shuzi.exe is
#     missing, so the client fetches the item's job and hands it to
#     zupdate.exe, which installs the program (executable) and its version
#     file while the client runs on.
#  2. "播放" again starts the program with the user's name and password,
#     exactly those two parameters.
#  3. The server's version of the item becomes newer than the installed one:
#     "播放" asks whether to fetch it ("信息"); No starts the installed
#     program and fetches nothing.
# Screenshots of the selected item, the installed program's start and the
# question are kept.
#
# usage: program_item_e2e.sh ZORVA ZUPDATE ZORVA_SERVER CONTENT_DIR HELP_PAGE ARTIFACT_DIR
set -euo pipefail

source "$(dirname "$0")/e2e_common.sh"
e2e_take_args "ZORVA ZUPDATE ZORVA_SERVER CONTENT_DIR HELP_PAGE ARTIFACT_DIR" \
  "zorva zupdate server sample_content help_page artifacts" "$@"
unset ZORVA_CLIENT_PID ZORVA_CLIENT_PROGRAM
user=e2euser
password=e2e-Pass1
e2e_begin e2e_program_item_failure.png
e2e_show_logs() {
  for log in "$work/client.log" "$work/server.log" "$work/client/zorva.log" \
    "$work/client/shuzi.log"; do
    [ -f "$log" ] && { echo "--- $log"; tail -n 30 "$log"; }
  done
  echo "--- client folder"
  ls -la "$work/client" "$work/client/dl" 2>/dev/null || true
}

# A copy of the sample content, so that the item's version can be raised.
content=$work/content
mkdir -p "$content"
cp -r "$sample_content/." "$content/"

# A working directory as the demo prepares it: the server's version (no
# update question), the help page and the updater; no shuzi.exe.
e2e_serve_and_start_client "$user" "$password" "$content" '{base};http://127.0.0.1:1' "$zupdate"
e2e_sign_in "$user" "$password"

e2e_wait_lesson_window
press_play() {
  e2e_click "$lesson" $e2e_lesson_play
}
alive() {
  kill -0 "$client_pid" 2>/dev/null || e2e_fail "the client ended"
}

# Select 数字连连看: click the first subject (the selection opens it), then
# walk down with the keyboard, each selection opening the item it lands on:
# 拼音, 认识声母, 认识韵母, 识字, 基本笔画, 数学, 加减法, 十以内的加法,
# 十以内的减法, 益智游戏, 数字连连看. The keys reach the tree in order, each
# after the opening the one before caused.
e2e_click "$lesson" $e2e_lesson_tree_first_row
for _ in $(seq 11); do
  xdotool key Down
done
e2e_shot e2e_program_item_selected.png

# ------------------------------------------------------- 1. missing: install
[ -e "$client_dir/shuzi.exe" ] && e2e_fail "shuzi.exe is there before the first 播放"
press_play
installed=
for _ in $(seq 600); do
  alive
  if [ -x "$client_dir/shuzi.exe" ] && [ -f "$client_dir/shuzi.xml" ] &&
    grep -q 'zupdate\[[0-9]*\] info: update applied' "$client_dir/zorva.log" 2>/dev/null; then
    installed=1
    break
  fi
  sleep 0.1
done
[ -n "$installed" ] || e2e_fail "the first 播放 did not install shuzi.exe through the updater"
grep -q -E 'GET /+dl/download_shuzi.xml 200' "$work/server.log" ||
  e2e_fail "the item's job was not fetched"
grep -q -E 'GET /+dl/shuzi.exe 200' "$work/server.log" || e2e_fail "the program was not fetched"
cmp -s "$content/dl/shuzi.exe" "$client_dir/shuzi.exe" || e2e_fail "shuzi.exe is not the server's"
cmp -s "$content/shuzi.xml" "$client_dir/shuzi.xml" || e2e_fail "shuzi.xml is not the server's"
[ -e "$client_dir/shuzi.log" ] && e2e_fail "the program ran before the second 播放"
# The updater's window closes by itself once the job is done.
e2e_window_gone 'Zorva 更新' || e2e_fail "the updater's window stayed after installing"
echo "ok 1: 播放 on a missing program installs it through the updater"

# ------------------------------------------------------------- 2. start it
# Each start of shuzi.exe appends a time stamp, its arguments one a line,
# and an empty line to shuzi.log.
wait_runs() {
  local runs=0
  for _ in $(seq 300); do
    alive
    runs=$(grep -c '^$' "$client_dir/shuzi.log" 2>/dev/null || true)
    [ "${runs:-0}" -ge "$1" ] && return 0
    sleep 0.1
  done
  e2e_fail "shuzi.exe ran ${runs:-0} times, not $1"
}
expected_run=$(printf 'user_name=%s\nuser_password=%s\n' "$user" "$password")
last_run() {
  # The last block, without its time stamp.
  awk 'BEGIN { RS = "" } { block = $0 } END { print block }' "$client_dir/shuzi.log" |
    tail -n +2
}
press_play
wait_runs 1
[ "$(last_run)" = "$expected_run" ] ||
  e2e_fail "shuzi.exe got other parameters: $(last_run | sed 's/password=.*/password=.../')"
e2e_shot e2e_program_item_started.png
echo "ok 2: the second 播放 starts shuzi.exe with the user's name and password"

# ------------------------------------------------ 3. newer on the server: No
fetched_jobs=$(grep -cE 'GET /+dl/download_shuzi.xml' "$work/server.log")
printf '<?xml version="1.0" encoding="gb2312"?>\r\n<item name="shuzi">\r\n<version>1.5</version>\r\n</item>\r\n' \
  >"$content/shuzi.xml"
# The note the program shows may hold the focus: close it first.
for window in $(xdotool search --onlyvisible --class xmessage 2>/dev/null || true); do
  xdotool windowclose "$window" 2>/dev/null || xdotool windowkill "$window" 2>/dev/null || true
done
for _ in $(seq 50); do
  xdotool search --onlyvisible --class xmessage >/dev/null 2>&1 || break
  sleep 0.1
done
e2e_focus "$lesson"
press_play
question=$(e2e_find_window 信息) || e2e_fail "the question about the newer version did not appear"
e2e_shot e2e_program_item_question.png
[ "$(grep -c '^$' "$client_dir/shuzi.log")" = 1 ] || e2e_fail "the program started before the answer"
e2e_focus "$question"
xdotool key Escape  # No
wait_runs 2
[ "$(last_run)" = "$expected_run" ] || e2e_fail "after No, shuzi.exe got other parameters"
# A fetch would have come before the start.
[ "$(grep -cE 'GET /+dl/download_shuzi.xml' "$work/server.log")" = "$fetched_jobs" ] ||
  e2e_fail "No still fetched the item's job"
grep -q '<version>1.0</version>' "$client_dir/shuzi.xml" || e2e_fail "No changed the local version file"
echo "ok 3: a newer version asks first, and No starts the installed program"

echo "PASS: program item end to end; screenshots in $artifacts/e2e_program_item_*.png"
