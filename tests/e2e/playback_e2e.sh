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
e2e_server_log_lines=40

e2e_serve_and_start_client "$user" "$password" "$content" \
  '{base};http://127.0.0.1:1;http://127.0.0.1:9/none'
e2e_sign_in "$user" "$password"

e2e_wait_lesson_window

# Select the first lesson of the catalogue: click the first subject (the
# selection opens it), then walk down with the keyboard, each selection
# opening the item it lands on.
e2e_click "$lesson" $e2e_lesson_tree_first_row
xdotool key Down Down
e2e_shot e2e_playback_selected.png
# "下一页" as the button row shows it, to know the row when it comes back.
read -r next_x next_y <<<"$e2e_lesson_next_page"
next_button="40x14+$((lesson_x + next_x - 20))+$((lesson_y + next_y - 7))"
convert "$artifacts/e2e_playback_selected.png" -crop "$next_button" +repage "$work/next_button.png"
e2e_click "$lesson" $e2e_lesson_play

# shot FILE: a screenshot once the page's movie holds still (it stops at its
# last frame), or after two seconds of a page that moves on.
shot() {
  e2e_wait_still 2
  import -window root "$artifacts/$1"
}
# wait_button_row: waits until the button row is drawn over the movie.
wait_button_row() {
  for _ in $(seq 50); do
    import -window root -crop "$next_button" +repage "$work/next_now.png"
    [ "$(compare -metric AE -fuzz 5% "$work/next_button.png" "$work/next_now.png" null: 2>&1 |
      cut -d ' ' -f 1)" -lt 20 ] && return 0
    sleep 0.1
  done
  e2e_fail "the button row did not come back when the mouse moved"
}

# The first lesson (three pages, none waiting for the user) plays through by
# itself and, as "自动播放下一课程" is ticked, the next lesson follows.
e2e_wait_title '^正在播放1$' 60 "the first page never showed"
shot e2e_playback_page1.png
e2e_wait_title '^正在播放2$' 60 "the second page never showed"
shot e2e_playback_page2.png
e2e_wait_title '^正在播放3$' 60 "the third page never showed"
e2e_wait_title '^开始播放\.\.\.\.\.\.$' 60 "the next lesson did not follow the first"

# In the next lesson, by mouse: a move shows the button row, "下一页" moves
# on long before the page would end by itself, "暂停" holds the page well
# beyond its natural end, and "继续" lets it end.
e2e_wait_title '^正在播放1$' 60 "the first page of the next lesson never showed"
xdotool mousemove --sync --window "$lesson" 400 300
wait_button_row
e2e_click "$lesson" $e2e_lesson_next_page
e2e_wait_title '^正在播放2$' 3 "下一页 did not move on"
e2e_click "$lesson" $e2e_lesson_pause
shot e2e_playback_paused.png
# Paused well beyond the page's natural end, nothing moves on.
sleep 12
[ "$(xdotool getwindowname "$lesson")" = 正在播放2 ] || e2e_fail "the page moved on while paused"
e2e_click "$lesson" $e2e_lesson_pause # "继续"
e2e_wait_title '^正在播放3$' 30 "the page did not end after 继续"

grep -q 'GET /lesson/pinyin_shengmu/0010/page02.swf 200' "$work/server.log" ||
  e2e_fail "the movie of the page listed as page02.html was not fetched"
differing=$(compare -metric AE "$artifacts/e2e_playback_page1.png" \
  "$artifacts/e2e_playback_page2.png" null: 2>&1 || true)
[ "${differing%% *}" != 0 ] || e2e_fail "pages 1 and 2 look the same"

echo "PASS: titles seen:"
cat "$work/titles"
echo "screenshots: $artifacts/e2e_playback_page1.png $artifacts/e2e_playback_page2.png" \
  "$artifacts/e2e_playback_paused.png"
