#!/usr/bin/env bash
# End to end: the real zorva under Xvfb against a real zorva-server, driven
# from the keyboard as a newcomer would. Ctrl+F and part of a title find a
# lesson, Enter selects it and Enter plays it, Ctrl+Right pages it, F11
# shows it full screen and Esc brings the window back, with the lesson
# playing on throughout. Screenshots of both states are kept.
#
# usage: lesson_keys_e2e.sh ZORVA ZORVA_SERVER CONTENT_DIR HELP_PAGE ARTIFACT_DIR
set -euo pipefail

source "$(dirname "$0")/e2e_common.sh"
e2e_take_client_args "$@"
user=keysuser
password=keys-Pass1
e2e_begin e2e_keys_failure.png
e2e_server_log_lines=30

e2e_serve_and_start_client "$user" "$password" "$content" '{base};{base};{base}'
e2e_sign_in "$user" "$password"

e2e_wait_lesson_window
eval "$(xdotool getwindowgeometry --shell "$lesson")"
window_place="$X $Y $WIDTH $HEIGHT"

# wait_place PLACE: waits until the lesson window stands at PLACE ("X Y
# WIDTH HEIGHT"), and sets X, Y, WIDTH and HEIGHT.
wait_place() {
  for _ in $(seq 100); do
    eval "$(xdotool getwindowgeometry --shell "$lesson")"
    [ "$X $Y $WIDTH $HEIGHT" = "$1" ] && return 0
    sleep 0.1
  done
}

# The tree gets the focus by a click on its first subject; Ctrl+F opens the
# search and part of a title narrows the tree to one lesson. The keys reach
# the window in order, so none waits for the one before.
e2e_click "$lesson" $e2e_lesson_tree_first_row
xdotool key ctrl+f
xdotool type --delay 60 '笔画'
e2e_shot e2e_keys_search.png
xdotool key Return Return
e2e_wait_title '^正在播放1$' 20
grep -q 'lesson_dir=shizi_bihua' "$work/server.log" ||
  e2e_fail "Enter did not play the lesson found: $(grep -c handler.asp "$work/server.log") lesson requests"

# Ctrl+Right moves on to the second page at the next tick, wherever the
# lesson left the focus.
xdotool key ctrl+Right
e2e_wait_title '^正在播放2$' 20

# F11: the window takes the screen, black around the movie.
xdotool key F11
wait_place "0 0 1280 1024"
[ "$X $Y $WIDTH $HEIGHT" = "0 0 1280 1024" ] || e2e_fail "full screen is $X $Y $WIDTH $HEIGHT"
e2e_shot e2e_keys_full_screen.png
corner=$(convert "$artifacts/e2e_keys_full_screen.png" -crop 1x1+1279+1023 -format '%[fx:int(255*r)],%[fx:int(255*g)],%[fx:int(255*b)]' info:)
[ "$corner" = "0,0,0" ] || e2e_fail "the full screen's corner is not black ($corner)"
# The movie itself, scaled to the screen: more than a small part of it is
# not black.
drawn=$(convert "$artifacts/e2e_keys_full_screen.png" -crop 1280x900+0+100 +repage -fuzz 3% \
  -transparent black -alpha extract -format '%[fx:mean*w*h]' info: | awk '{ printf "%d", $1 }')
[ "$drawn" -gt 100000 ] || e2e_fail "no movie on the full screen ($drawn pixels drawn)"

# Esc: back to the window's size and place, the lesson still playing.
xdotool key Escape
wait_place "$window_place"
[ "$X $Y $WIDTH $HEIGHT" = "$window_place" ] ||
  e2e_fail "the window came back at $X $Y $WIDTH $HEIGHT, not $window_place"
e2e_shot e2e_keys_window.png
xdotool getwindowname "$lesson" | grep -Eq '^正在播放[0-9]+$' ||
  e2e_fail "the lesson stopped with the switch (title \"$(xdotool getwindowname "$lesson")\")"

kill -0 "$client_pid" 2>/dev/null || e2e_fail "the client ended"
echo "PASS: found, played, paged, full screen and back ($drawn pixels of movie)"
echo "screenshots: $artifacts/e2e_keys_search.png $artifacts/e2e_keys_full_screen.png $artifacts/e2e_keys_window.png"
