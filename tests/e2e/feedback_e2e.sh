#!/usr/bin/env bash
# End to end: the real zorva under Xvfb against a real zorva-server. After
# the sign-in the announcement window must stand at the frame's bottom right
# showing the server's page, and the suggestion dialog, opened from the menu
# and filled in with the keyboard, must send a suggestion that
# "zorva-server suggestions" then lists. Last, the sample page's "关闭" hides
# the announcement window and leaves the rest. Screenshots are kept as
# artifacts.
#
# usage: feedback_e2e.sh ZORVA ZORVA_SERVER CONTENT_DIR HELP_PAGE ARTIFACT_DIR
set -euo pipefail

source "$(dirname "$0")/e2e_common.sh"
e2e_take_client_args "$@"
e2e_begin_signed_in feedback_failure.png feedback fb-Pass1 \
  '{base};http://127.0.0.1:1;http://127.0.0.1:9/none'
e2e_find_main_frame

# The announcement window: its outer rectangle against the frame's bottom
# right (right - 350, bottom - 300, 400 x 300), kept on the screen. There is
# no window manager here, so outer and inner rectangles are the same.
announcement=$(e2e_find_window Dialog) || e2e_fail "the announcement window did not appear"
eval "$(xdotool getwindowgeometry --shell "$frame" | sed 's/^/FRAME_/')"
eval "$(xdotool getwindowgeometry --shell "$announcement" | sed 's/^/NOTE_/')"
eval "$(xdotool getdisplaygeometry --shell | sed 's/^/SCREEN_/')"
want_x=$((FRAME_X + FRAME_WIDTH - 350))
want_y=$((FRAME_Y + FRAME_HEIGHT - 300))
[ $((want_x + 400)) -le "$SCREEN_WIDTH" ] || want_x=$((SCREEN_WIDTH - 400))
[ $((want_y + 300)) -le "$SCREEN_HEIGHT" ] || want_y=$((SCREEN_HEIGHT - 300))
[ "$NOTE_WIDTH" -eq 400 ] && [ "$NOTE_HEIGHT" -eq 300 ] ||
  e2e_fail "the announcement window is ${NOTE_WIDTH}x${NOTE_HEIGHT}, not 400x300"
[ "$NOTE_X" -eq "$want_x" ] && [ "$NOTE_Y" -eq "$want_y" ] ||
  e2e_fail "the announcement window is at $NOTE_X,$NOTE_Y, not $want_x,$want_y (frame $FRAME_X,$FRAME_Y ${FRAME_WIDTH}x$FRAME_HEIGHT)"

# The server's page was asked for and sent, and the window shows it.
for _ in $(seq 300); do
  grep -q 'GET /gonggao.htm 200' "$work/server.log" && break
  sleep 0.1
done
grep -q 'GET /gonggao.htm 200' "$work/server.log" || e2e_fail "the announcement page was not fetched"
e2e_shot feedback_announcement.png

# The suggestion dialog from the menu "功能列表", its second item.
e2e_focus "$frame"
e2e_click "$frame" 30 10
xdotool key Down Down Return
dialog=$(e2e_find_window 感谢您给我们提建议) || e2e_fail "the suggestion dialog did not appear"
# The category list has the focus: the first category, then the text with
# an apostrophe and a line break, then "保存" by the keyboard.
e2e_focus "$dialog"
xdotool key Down
xdotool key Tab
xdotool type --delay 30 "e2e: 100% & it's fine"
xdotool key Return
xdotool type --delay 30 "second line"
# The counter follows the text at its next tick, within two seconds.
e2e_shot feedback_suggestion.png
xdotool key Tab space

# "保存成功！" in a message box captioned with the program's name.
confirm=$(e2e_find_window zorva) || e2e_fail "no confirmation after saving"
e2e_shot feedback_saved.png
e2e_focus "$confirm"
xdotool key Return
e2e_window_gone 感谢您给我们提建议 || e2e_fail "the suggestion dialog is still open"

listing=$("$server" suggestions --db "$work/zorva.db")
expected=$(printf '\t%s\t0\te2e: 100%% & it"s fine\\r\\nsecond line' "$user")
case "$listing" in
  *"$expected"*) ;;
  *) e2e_fail "zorva-server lists: $listing" ;;
esac
kill -0 "$client_pid" 2>/dev/null || e2e_fail "the client ended"
e2e_find_window Dialog 0 >/dev/null || e2e_fail "the announcement window went away"

# The sample page's "确定" (ButtonOK) and "关闭" (ButtonCancel) sit at the
# bottom right of the page, 64 x 24 pixels each, 12 pixels from the edges.
# "确定" does nothing: given the time a click takes to reach the page and
# come back, the window is still there.
e2e_click "$announcement" $((400 - 12 - 32 - 70)) $((300 - 12 - 12))
sleep 2
e2e_find_window Dialog 0 >/dev/null || e2e_fail "确定 hid the announcement window"
e2e_click "$announcement" $((400 - 12 - 32)) $((300 - 12 - 12))
e2e_window_gone Dialog || e2e_fail "关闭 did not hide the announcement window"
e2e_shot feedback_closed.png
e2e_find_window 'Zorva学习娱乐空间 版本2.0' 0 >/dev/null ||
  e2e_fail "the frame went away with the announcement window"
e2e_find_window 主窗口 0 >/dev/null || e2e_fail "the lesson window went away with the announcement window"
kill -0 "$client_pid" 2>/dev/null || e2e_fail "the client ended"

echo "PASS: announcement at $NOTE_X,$NOTE_Y; suggestion stored: $listing"
echo "screenshots: $artifacts/feedback_announcement.png $artifacts/feedback_suggestion.png" \
  "$artifacts/feedback_saved.png $artifacts/feedback_closed.png"
