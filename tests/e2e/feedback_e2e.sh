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
user=feedback
password=fb-Pass1
e2e_begin feedback_failure.png

e2e_serve_and_start_client "$user" "$password" "$content" \
  '{base};http://127.0.0.1:1;http://127.0.0.1:9/none'
e2e_sign_in "$user" "$password"

frame=$(timeout 120 xdotool search --sync --onlyvisible --name '^Zorva学习娱乐空间 版本2\.0$' |
  head -n 1) || e2e_fail "the main frame did not appear"

# The announcement window: its outer rectangle against the frame's bottom
# right (right - 350, bottom - 300, 400 x 300), kept on the screen. There is
# no window manager here, so outer and inner rectangles are the same.
announcement=$(timeout 60 xdotool search --sync --onlyvisible --name '^Dialog$' | head -n 1) ||
  e2e_fail "the announcement window did not appear"
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

# The server's page was asked for and sent; give the page time to paint.
for _ in $(seq 300); do
  grep -q 'GET /gonggao.htm 200' "$work/server.log" && break
  sleep 0.1
done
grep -q 'GET /gonggao.htm 200' "$work/server.log" || e2e_fail "the announcement page was not fetched"
sleep 3
import -window root "$artifacts/feedback_announcement.png"

# The suggestion dialog from the menu "功能列表", its second item.
xdotool windowfocus --sync "$frame" || true
xdotool mousemove --window "$frame" 30 10 click 1
sleep 0.5
xdotool key Down Down Return
dialog=$(timeout 60 xdotool search --sync --onlyvisible --name '^感谢您给我们提建议$' |
  head -n 1) || e2e_fail "the suggestion dialog did not appear"
sleep 0.5
# The category list has the focus: the first category, then the text with
# an apostrophe and a line break, then "保存" by the keyboard.
xdotool windowfocus --sync "$dialog" || true
xdotool key Down
xdotool key Tab
xdotool type --delay 30 "e2e: 100% & it's fine"
xdotool key Return
xdotool type --delay 30 "second line"
sleep 2.5
import -window root "$artifacts/feedback_suggestion.png"
xdotool key Tab space

# "保存成功！" in a message box captioned with the program's name.
confirm=$(timeout 60 xdotool search --sync --onlyvisible --name '^zorva$' | head -n 1) ||
  e2e_fail "no confirmation after saving"
sleep 0.5
import -window root "$artifacts/feedback_saved.png"
xdotool windowfocus --sync "$confirm" || true
xdotool key Return
for _ in $(seq 100); do
  xdotool search --onlyvisible --name '^感谢您给我们提建议$' >/dev/null || break
  sleep 0.1
done
xdotool search --onlyvisible --name '^感谢您给我们提建议$' >/dev/null &&
  e2e_fail "the suggestion dialog is still open"

listing=$("$server" suggestions --db "$work/zorva.db")
expected=$(printf '\t%s\t0\te2e: 100%% & it"s fine\\r\\nsecond line' "$user")
case "$listing" in
  *"$expected"*) ;;
  *) e2e_fail "zorva-server lists: $listing" ;;
esac
kill -0 "$client_pid" 2>/dev/null || e2e_fail "the client ended"
xdotool search --onlyvisible --name '^Dialog$' >/dev/null || e2e_fail "the announcement window went away"

# The sample page's "确定" (ButtonOK) and "关闭" (ButtonCancel) sit at the
# bottom right of the page, 64 x 24 pixels each, 12 pixels from the edges.
xdotool mousemove --window "$announcement" $((400 - 12 - 32 - 70)) $((300 - 12 - 12)) click 1
sleep 2
xdotool search --onlyvisible --name '^Dialog$' >/dev/null || e2e_fail "确定 hid the announcement window"
xdotool mousemove --window "$announcement" $((400 - 12 - 32)) $((300 - 12 - 12)) click 1
for _ in $(seq 100); do
  xdotool search --onlyvisible --name '^Dialog$' >/dev/null || break
  sleep 0.1
done
xdotool search --onlyvisible --name '^Dialog$' >/dev/null && e2e_fail "关闭 did not hide the announcement window"
sleep 0.5
import -window root "$artifacts/feedback_closed.png"
xdotool search --onlyvisible --name '^Zorva学习娱乐空间 版本2\.0$' >/dev/null ||
  e2e_fail "the frame went away with the announcement window"
xdotool search --onlyvisible --name '^主窗口$' >/dev/null ||
  e2e_fail "the lesson window went away with the announcement window"
kill -0 "$client_pid" 2>/dev/null || e2e_fail "the client ended"

echo "PASS: announcement at $NOTE_X,$NOTE_Y; suggestion stored: $listing"
echo "screenshots: $artifacts/feedback_announcement.png $artifacts/feedback_suggestion.png" \
  "$artifacts/feedback_saved.png $artifacts/feedback_closed.png"
