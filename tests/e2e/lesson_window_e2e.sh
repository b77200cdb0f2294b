#!/usr/bin/env bash
# End to end: the real zorva under Xvfb against a real zorva-server. After a
# user signs in, the lesson window must come up over the main frame with the
# sample catalogue in its tree: the tree's two subjects are drawn on its
# background, and a click on the first one opens it. Screenshots are kept.
#
# usage: lesson_window_e2e.sh ZORVA ZORVA_SERVER CONTENT_DIR HELP_PAGE ARTIFACT_DIR
set -euo pipefail

source "$(dirname "$0")/e2e_common.sh"
e2e_take_client_args "$@"
# Two candidates that refuse connections, then the live one.
e2e_begin_signed_in e2e_lesson_failure.png e2euser e2e-Pass1 \
  'http://127.0.0.1:1;http://127.0.0.1:9/none;{base}'
e2e_find_main_frame

kill -0 "$client_pid" 2>/dev/null || e2e_fail "the client ended"

# The lesson window, titled "主窗口" once the catalogue is in.
e2e_wait_lesson_window
grep -q 'GET //lesson//lesson_list.xml 200' "$work/server.log" ||
  e2e_fail "the catalogue was not fetched: $(grep -i lesson_list "$work/server.log" || true)"
e2e_shot e2e_lesson_window.png

# The tree stands at (4, 25) dialog units, 156 x 314, that is (6, 40) pixels,
# 234 x 510, inside the window. Pixels drawn in the tree that are not its
# background are lines, buttons and item texts.
read -r tree_x tree_y <<<"$(e2e_du 4 25)"
tree_x=$((lesson_x + tree_x))
tree_y=$((lesson_y + tree_y))
drawn_in_tree() {
  convert "$1" -crop "234x510+$tree_x+$tree_y" +repage -fuzz 2% -transparent 'rgb(239,201,239)' \
    -alpha extract -format '%[fx:int(mean*w*h+0.5)]' info:
}
closed=$(drawn_in_tree "$artifacts/e2e_lesson_window.png")
# Most of the tree is its background colour, RGB(239, 201, 239).
[ "$closed" -lt 60000 ] || e2e_fail "the tree's background is not RGB(239, 201, 239) ($closed pixels drawn)"
[ "$closed" -gt 100 ] || e2e_fail "the tree shows no catalogue ($closed pixels drawn)"

# A click on the first subject selects it, and the selection opens it.
e2e_click "$lesson" $e2e_lesson_tree_first_row
e2e_shot e2e_lesson_tree_open.png
opened=$(drawn_in_tree "$artifacts/e2e_lesson_tree_open.png")
[ "$opened" -gt $((closed + 100)) ] ||
  e2e_fail "clicking the first subject did not open it ($closed -> $opened pixels drawn)"

kill -0 "$client_pid" 2>/dev/null || e2e_fail "the client ended"
echo "PASS: lesson window $lesson with the sample catalogue ($closed -> $opened pixels drawn in the tree)"
echo "screenshots: $artifacts/e2e_lesson_window.png $artifacts/e2e_lesson_tree_open.png"
