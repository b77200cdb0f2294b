#!/usr/bin/env bash
# End to end on a desktop: the real zorva against a real zorva-server under a
# real window manager (openbox), with a panel along the bottom of the screen
# that reserves its strip. There the windows are framed, placed, stacked and
# focused by the manager, as a user meets them:
#  1. the lesson window stands centred on the free area and the announcement
#     at the frame's bottom right, kept on the free area, both measured by
#     their outer rectangles, and both stay above the frame when it is
#     clicked; the announcement offers no way to resize it;
#  2. the suggestion dialog blocks the frame (its close request does
#     nothing) but not the lesson window ("应用列表" hides and shows the tree)
#     nor the announcement ("关闭" hides it);
#  3. F11 on a playing lesson covers the whole screen, the panel included,
#     with the movie centred; Esc gives the window back at its place and
#     size, the lesson still playing.
# Screenshots of each step are kept.
#
# usage: window_manager_e2e.sh ZORVA ZORVA_SERVER CONTENT_DIR HELP_PAGE ARTIFACT_DIR
set -euo pipefail

source "$(dirname "$0")/e2e_common.sh"
e2e_take_client_args "$@"
user=deskuser
password=desk-Pass1
e2e_begin e2e_wm_failure.png

e2e_start_window_manager
eval "$(xdotool getdisplaygeometry --shell | sed 's/^/SCREEN_/')"

# The panel: a dock window along the bottom that reserves 40 pixels.
panel_height=40
xmessage -geometry "${SCREEN_WIDTH}x$panel_height+0+$((SCREEN_HEIGHT - panel_height))" \
  -name e2e-panel panel >/dev/null 2>&1 &
e2e_pids+=("$!")
panel=$(e2e_find_window e2e-panel 30) || e2e_fail "the panel did not appear"
xdotool windowunmap --sync "$panel"
xprop -id "$panel" -f _NET_WM_WINDOW_TYPE 32a -set _NET_WM_WINDOW_TYPE _NET_WM_WINDOW_TYPE_DOCK
xprop -id "$panel" -f _NET_WM_STRUT 32c -set _NET_WM_STRUT "0,0,0,$panel_height"
xdotool windowmap --sync "$panel"
# The free area, once the manager has taken the panel's strip off it.
for _ in $(seq 100); do
  read -r FREE_X FREE_Y FREE_WIDTH FREE_HEIGHT < <(xprop -root _NET_WORKAREA |
    sed -n 's/.*= //p' | tr -d , | cut -d ' ' -f 1-4)
  [ "$FREE_HEIGHT" -eq $((SCREEN_HEIGHT - panel_height)) ] && break
  sleep 0.1
done
[ "$FREE_HEIGHT" -eq $((SCREEN_HEIGHT - panel_height)) ] ||
  e2e_fail "the panel reserves no strip (free area $FREE_X $FREE_Y $FREE_WIDTH $FREE_HEIGHT)"

# wait_outer WINDOW RECT WHAT: waits until the window's outer rectangle is RECT.
wait_outer() {
  for _ in $(seq 100); do
    [ "$(e2e_outer "$1")" = "$2" ] && return 0
    sleep 0.1
  done
  e2e_fail "$3 is at $(e2e_outer "$1"), not $2"
}
# stacked_above LOW HIGH: whether the manager stacks HIGH above LOW.
stacked_above() {
  local order
  order=$(for id in $(xprop -root _NET_CLIENT_LIST_STACKING | sed -n 's/.*# //p' | tr , ' '); do
    printf '%d\n' "$id"
  done)
  [ "$(grep -nx "$2" <<<"$order" | cut -d: -f1)" -gt "$(grep -nx "$1" <<<"$order" | cut -d: -f1)" ]
}
# tree_pixels FILE: pixels of the tree's background colour, RGB(239, 201,
# 239), where the tree stands in the lesson window: (4, 25) dialog units,
# 156 x 314, that is (6, 40) pixels, 234 x 510, inside it.
tree_pixels() {
  local x y
  read -r x y _ < <(e2e_outer "$lesson")
  read -r left _ top _ < <(xprop -id "$lesson" _NET_FRAME_EXTENTS | sed -n 's/.*= //p' | tr -d ,)
  convert "$1" -crop "234x510+$((x + left + 6))+$((y + top + 40))" +repage -fill black \
    +opaque 'rgb(239,201,239)' -fill white -opaque 'rgb(239,201,239)' \
    -format '%[fx:int(mean*w*h+0.5)]' info:
}

e2e_serve_and_start_client "$user" "$password" "$content" '{base};{base};{base}'
e2e_sign_in "$user" "$password"
e2e_find_main_frame
e2e_wait_lesson_window
announcement=$(e2e_find_window Dialog 60) || e2e_fail "the announcement window did not appear"

# ------------------------------------------------- 1. places and the frame
# The lesson window centred on the free area, frame included.
read -r _ _ lesson_w lesson_h < <(e2e_outer "$lesson")
lesson_place="$((FREE_X + (FREE_WIDTH - lesson_w) / 2)) $((FREE_Y + (FREE_HEIGHT - lesson_h) / 2))"
lesson_place="$lesson_place $lesson_w $lesson_h"
wait_outer "$lesson" "$lesson_place" "the lesson window"
# The announcement 400 x 300 with its frame against the frame's bottom right
# (right - 350, bottom - 300): the frame covers the free area, so the window
# is kept on it, clear of the panel.
wait_outer "$announcement" \
  "$((FREE_X + FREE_WIDTH - 400)) $((FREE_Y + FREE_HEIGHT - 300)) 400 300" "the announcement"
e2e_shot e2e_wm_windows.png
# A click on the frame leaves both over it.
e2e_click "$frame" 600 600
e2e_wait_still
stacked_above "$frame" "$lesson" || e2e_fail "a click on the frame buried the lesson window"
stacked_above "$frame" "$announcement" || e2e_fail "a click on the frame buried the announcement"

xprop -id "$announcement" _NET_WM_ALLOWED_ACTIONS | grep -q _NET_WM_ACTION_RESIZE &&
  e2e_fail "the announcement can be resized: $(xprop -id "$announcement" _NET_WM_ALLOWED_ACTIONS)"
eval "$(xdotool getwindowgeometry --shell "$announcement")"
hints=$(xprop -id "$announcement" WM_NORMAL_HINTS)
grep -q "minimum size: $WIDTH by $HEIGHT" <<<"$hints" &&
  grep -q "maximum size: $WIDTH by $HEIGHT" <<<"$hints" ||
  e2e_fail "the announcement's size (${WIDTH}x$HEIGHT) is not fixed: $hints"
echo "ok 1: lesson window at $lesson_place, announcement at $(e2e_outer "$announcement"), above the frame"

# ------------------------------------------- 2. the suggestion dialog's reach
e2e_focus "$frame"
e2e_click "$frame" 30 10 # the menu "功能列表"
xdotool key Down Down Return
dialog=$(e2e_find_window 感谢您给我们提建议 60) || e2e_fail "the suggestion dialog did not appear"
e2e_shot e2e_wm_suggestion.png
tree_shown=$(tree_pixels "$artifacts/e2e_wm_suggestion.png")
[ "$tree_shown" -gt 60000 ] || e2e_fail "the tree does not show ($tree_shown pixels of its colour)"

# The frame does not close while the dialog is open.
wmctrl -i -c "$frame"
e2e_wait_still
kill -0 "$client_pid" 2>/dev/null || e2e_fail "the frame closed under the suggestion dialog"
e2e_find_window 'Zorva学习娱乐空间 版本2.0' 1 >/dev/null || e2e_fail "the frame went away"

# The lesson window answers: "应用列表" hides the tree and shows it again.
e2e_click "$lesson" $e2e_lesson_app_list
e2e_shot e2e_wm_suggestion_tree_hidden.png
tree_hidden=$(tree_pixels "$artifacts/e2e_wm_suggestion_tree_hidden.png")
[ "$tree_hidden" -lt 1000 ] || e2e_fail "应用列表 did not hide the tree under the suggestion dialog"
e2e_click "$lesson" $e2e_lesson_app_list
e2e_wait_still

# The announcement answers: its page's "关闭" (ButtonCancel, 64 x 24 pixels,
# 12 from the page's bottom right) hides it.
eval "$(xdotool getwindowgeometry --shell "$announcement")"
# A busy web view can miss a click that comes with the pointer's arrival, as
# a user's hand would find; a blocked window misses every one.
for _ in 1 2 3; do
  e2e_click "$announcement" $((WIDTH - 12 - 32)) $((HEIGHT - 12 - 12))
  e2e_window_gone Dialog 5 && break
done
e2e_window_gone Dialog 0 || e2e_fail "关闭 did not hide the announcement under the suggestion dialog"

# The dialog itself is still there and ends with Esc.
e2e_find_window 感谢您给我们提建议 1 >/dev/null || e2e_fail "the suggestion dialog went away"
e2e_focus "$dialog"
xdotool key Escape
e2e_window_gone 感谢您给我们提建议 || e2e_fail "Esc did not end the suggestion dialog"
echo "ok 2: the suggestion dialog blocks the frame, not the lesson window or the announcement"

# ------------------------------------------------- 3. full screen and back
# The first lesson: the tree's first subject (the selection opens it), down
# to its first list and its first lesson, then "播放".
e2e_click "$lesson" $e2e_lesson_tree_first_row
xdotool key Down Down
e2e_click "$lesson" $e2e_lesson_play
e2e_wait_title '^正在播放[0-9]+$' 60 "the first lesson did not play"

xdotool key F11
wait_outer "$lesson" "0 0 $SCREEN_WIDTH $SCREEN_HEIGHT" "the full screen"
xprop -id "$lesson" _NET_WM_STATE | grep -q _NET_WM_STATE_FULLSCREEN ||
  e2e_fail "the manager does not hold the window full screen"
stacked_above "$panel" "$lesson" || e2e_fail "the panel stays over the full screen"
# The movie, centred: the box of what is not black, below the button row.
centred=
for _ in $(seq 50); do
  import -window root "$artifacts/e2e_wm_full_screen.png"
  read -r w h x y <<<"$(convert "$artifacts/e2e_wm_full_screen.png" \
    -crop "${SCREEN_WIDTH}x$((SCREEN_HEIGHT - 60))+0+60" +repage -fuzz 3% -trim \
    -format '%w %h %X %Y' info: | tr -d +)"
  mid_x=$((x + w / 2))
  mid_y=$((60 + y + h / 2))
  if [ $((mid_x - SCREEN_WIDTH / 2)) -ge -4 ] && [ $((mid_x - SCREEN_WIDTH / 2)) -le 4 ] &&
    [ $((mid_y - SCREEN_HEIGHT / 2)) -ge -4 ] && [ $((mid_y - SCREEN_HEIGHT / 2)) -le 4 ] &&
    [ "$w" -gt $((SCREEN_WIDTH / 2)) ]; then
    centred=1
    break
  fi
  sleep 0.2
done
[ -n "$centred" ] ||
  e2e_fail "the movie is not centred on the full screen (${w}x$h at $x,$((60 + y)))"
corner=$(convert "$artifacts/e2e_wm_full_screen.png" -crop 1x1+1+$((SCREEN_HEIGHT - 2)) \
  -format '%[fx:int(255*r)],%[fx:int(255*g)],%[fx:int(255*b)]' info:)
[ "$corner" = "0,0,0" ] || e2e_fail "the panel's strip is not black in full screen ($corner)"

xdotool key Escape
wait_outer "$lesson" "$lesson_place" "the window after Esc"
xprop -id "$lesson" _NET_WM_STATE | grep -q _NET_WM_STATE_FULLSCREEN &&
  e2e_fail "the manager still holds the window full screen"
e2e_shot e2e_wm_back.png
e2e_wait_title '^正在播放[0-9]+$' 5 "the lesson stopped with the switch"
kill -0 "$client_pid" 2>/dev/null || e2e_fail "the client ended"
echo "ok 3: F11 covers the screen above the panel with the movie centred; Esc gives the window back"

echo "PASS: window manager end to end"
echo "screenshots: $artifacts/e2e_wm_*.png"
