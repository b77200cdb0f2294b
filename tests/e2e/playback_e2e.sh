#!/usr/bin/env bash
# End to end: a lesson played by the real zorva under Xvfb, with the real
# movie player, against a real zorva-server and its sample content. A user
# signs in, selects the first lesson in the catalogue tree and presses
# "播放"; the lesson window's title must go "正在播放1", "正在播放2", ... and
# on to the next lesson. There "下一页", "暂停" and "继续" are pressed by
# mouse. Screenshots of two pages and of the paused page are kept.
#
# usage: playback_e2e.sh ZORVA ZORVA_SERVER CONTENT_DIR HELP_PAGE ARTIFACT_DIR
set -euo pipefail

source "$(dirname "$0")/e2e_common.sh"
e2e_take_client_args "$@"
user=e2euser
password=e2e-Pass1
e2e_begin e2e_playback_failure.png
e2e_show_logs() {
  echo "--- titles seen"
  cat "$work/titles" 2>/dev/null || true
  echo "--- client output"
  tail -n 40 "$work/client.log" || true
  echo "--- server log"
  tail -n 40 "$work/server.log" || true
}

e2e_serve_and_start_client "$user" "$password" "$content" \
  '{base};http://127.0.0.1:1;http://127.0.0.1:9/none'
e2e_sign_in "$user" "$password"

e2e_wait_lesson_window

# Select the first lesson of the catalogue: click the first subject (the
# selection opens it), then walk down with the keyboard, each selection
# opening the item it lands on.
e2e_click_at 30 30
sleep 0.5
xdotool key Down
sleep 0.5
xdotool key Down
sleep 0.5
import -window root "$artifacts/e2e_playback_selected.png"
e2e_click_at 64 15  # "播放"

# The title as it changes, each new one noted in $work/titles.
: >"$work/titles"
last=
note_title() {
  local t
  t=$(xdotool getwindowname "$lesson" 2>/dev/null || true)
  if [ "$t" != "$last" ]; then
    echo "$t" >>"$work/titles"
    last=$t
  fi
}
# Waits up to $2 seconds for the title $1.
wait_title() {
  local until=$((SECONDS + $2))
  while [ $SECONDS -lt $until ]; do
    kill -0 "$client_pid" 2>/dev/null || e2e_fail "the client ended"
    note_title
    [ "$last" = "$1" ] && return 0
    sleep 0.2
  done
  return 1
}
shot() {
  sleep 1.5
  import -window root "$artifacts/$1"
}

# The first lesson (three pages, none waiting for the user) plays through by
# itself and, as "自动播放下一课程" is ticked, the next lesson follows.
wait_title 正在播放1 60 || e2e_fail "the first page never showed"
shot e2e_playback_page1.png
wait_title 正在播放2 60 || e2e_fail "the second page never showed"
shot e2e_playback_page2.png
wait_title 正在播放3 60 || e2e_fail "the third page never showed"
wait_title 开始播放...... 60 || e2e_fail "the next lesson did not follow the first"

# In the next lesson, by mouse: a move shows the button row, "下一页" moves
# on long before the page would end by itself, "暂停" holds the page well
# beyond its natural end, and "继续" lets it end.
wait_title 正在播放1 60 || e2e_fail "the next lesson's first page never showed"
xdotool mousemove --sync $((lesson_x + 400)) $((lesson_y + 300))
sleep 1.5
e2e_click_at 148 15  # "下一页"
wait_title 正在播放2 3 || e2e_fail "下一页 did not move on"
e2e_click_at 190 15  # "暂停"
shot e2e_playback_paused.png
sleep 12
note_title
[ "$last" = 正在播放2 ] || e2e_fail "the page moved on while paused"
e2e_click_at 190 15  # "继续"
wait_title 正在播放3 30 || e2e_fail "the page did not end after 继续"

grep -q 'GET /lesson/pinyin_shengmu/0010/page02.swf 200' "$work/server.log" ||
  e2e_fail "the movie of the page listed as page02.html was not fetched"
differing=$(compare -metric AE "$artifacts/e2e_playback_page1.png" \
  "$artifacts/e2e_playback_page2.png" null: 2>&1 || true)
[ "${differing%% *}" != 0 ] || e2e_fail "pages 1 and 2 look the same"

echo "PASS: titles seen:"
cat "$work/titles"
echo "screenshots: $artifacts/e2e_playback_page1.png $artifacts/e2e_playback_page2.png" \
  "$artifacts/e2e_playback_paused.png"
