#!/usr/bin/env bash
# End to end: the real zorva under Xvfb against a real zorva-server. After a
# user signs in, the lesson window must come up over the main frame with the
# sample catalogue in its tree: the tree's two subjects are drawn on its
# background, and a click on the first one opens it. Screenshots are kept.
#
# usage: lesson_window_e2e.sh ZORVA ZORVA_SERVER CONTENT_DIR HELP_PAGE ARTIFACT_DIR
set -euo pipefail

if [ $# -ne 5 ]; then
  echo "usage: $0 ZORVA ZORVA_SERVER CONTENT_DIR HELP_PAGE ARTIFACT_DIR" >&2
  exit 2
fi

# Run the whole test on a display of its own.
if [ -z "${ZORVA_E2E_ON_XVFB:-}" ]; then
  export ZORVA_E2E_ON_XVFB=1
  exec xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 1280x1024x24 -nolisten tcp" bash "$0" "$@"
fi

zorva=$1
server=$2
content=$3
help_page=$4
artifacts=$5
export LC_ALL=C.UTF-8
export QT_QPA_PLATFORM=xcb
user=e2euser
password=e2e-Pass1

work=$(mktemp -d)
server_pid=
client_pid=
finish() {
  [ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null || true
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT

fail() {
  echo "FAIL: $*" >&2
  import -window root "$artifacts/e2e_lesson_failure.png" 2>/dev/null || true
  echo "--- client output" >&2
  cat "$work/client.log" >&2 || true
  echo "--- server log" >&2
  tail -n 20 "$work/server.log" >&2 || true
  exit 1
}

# The server, on a port of its own, with one user.
"$server" add-user "$user" "$password" --db "$work/zorva.db" >/dev/null
"$server" serve --listen 127.0.0.1:0 --content "$content" --db "$work/zorva.db" \
  >"$work/server.out" 2>"$work/server.log" &
server_pid=$!
base=
for _ in $(seq 300); do
  base=$(sed -n 's/^listening on \(http:\/\/[^ ]*\).*/\1/p' "$work/server.out" | head -n 1)
  [ -n "$base" ] && break
  kill -0 "$server_pid" 2>/dev/null || fail "zorva-server did not start"
  sleep 0.1
done
[ -n "$base" ] || fail "zorva-server reported no address"

# Two candidates that refuse connections, then the live one.
export ZORVA_SERVER_CANDIDATES="http://127.0.0.1:1;http://127.0.0.1:9/none;$base"

# A fresh working directory holding the server's version, so that no update
# question comes, and the help page.
client_dir=$work/client
mkdir -p "$client_dir/help"
cp "$content/zorva.xml" "$client_dir/zorva.xml"
cp "$help_page" "$client_dir/help/help.htm"

(cd "$client_dir" && exec "$zorva") >"$work/client.log" 2>&1 &
client_pid=$!

login=$(timeout 120 xdotool search --sync --onlyvisible --name '欢迎您进入Zorva学习娱乐空间' |
  head -n 1) || fail "the login dialog did not appear"
sleep 1

# As a user would: click into the user name box, type the name, Tab to the
# password, type it, press Enter.
xdotool windowfocus --sync "$login" || true
eval "$(xdotool getwindowgeometry --shell "$login")"
# The user name box sits at (79, 43) dialog units, 88 wide.
xdotool mousemove --window "$login" 150 76 click 1
sleep 0.3
xdotool type --delay 30 "$user"
xdotool key Tab
xdotool type --delay 30 "$password"
xdotool key Return

frame=$(timeout 120 xdotool search --sync --onlyvisible --name '^Zorva学习娱乐空间 版本2\.0$' |
  head -n 1) || fail "the main frame did not appear"

kill -0 "$client_pid" 2>/dev/null || fail "the client ended"

# The lesson window, titled "主窗口" once the catalogue is in.
lesson=$(timeout 60 xdotool search --sync --onlyvisible --name '^主窗口$' | head -n 1) ||
  fail "the lesson window did not appear"
grep -q 'GET //lesson//lesson_list.xml 200' "$work/server.log" ||
  fail "the catalogue was not fetched: $(grep -i lesson_list "$work/server.log" || true)"
sleep 1
eval "$(xdotool getwindowgeometry --shell "$lesson")"
lesson_x=$X
lesson_y=$Y
import -window root "$artifacts/e2e_lesson_window.png"

# The tree stands at (4, 25) dialog units, 156 x 314, that is (6, 40) pixels,
# 234 x 510, inside the window. Pixels drawn in the tree that are not its
# background are lines, buttons and item texts.
tree_x=$((lesson_x + 6))
tree_y=$((lesson_y + 40))
drawn_in_tree() {
  convert "$1" -crop "234x510+$tree_x+$tree_y" +repage -fuzz 2% -transparent 'rgb(239,201,239)' \
    -alpha extract -format '%[fx:int(mean*w*h+0.5)]' info:
}
closed=$(drawn_in_tree "$artifacts/e2e_lesson_window.png")
# Most of the tree is its background colour, RGB(239, 201, 239).
[ "$closed" -lt 60000 ] || fail "the tree's background is not RGB(239, 201, 239) ($closed pixels drawn)"
[ "$closed" -gt 100 ] || fail "the tree shows no catalogue ($closed pixels drawn)"

# A click on the first subject selects it, and the selection opens it.
xdotool mousemove --sync $((tree_x + 40)) $((tree_y + 8)) click 1
sleep 1
import -window root "$artifacts/e2e_lesson_tree_open.png"
opened=$(drawn_in_tree "$artifacts/e2e_lesson_tree_open.png")
[ "$opened" -gt $((closed + 100)) ] ||
  fail "clicking the first subject did not open it ($closed -> $opened pixels drawn)"

kill -0 "$client_pid" 2>/dev/null || fail "the client ended"
echo "PASS: lesson window $lesson with the sample catalogue ($closed -> $opened pixels drawn in the tree)"
echo "screenshots: $artifacts/e2e_lesson_window.png $artifacts/e2e_lesson_tree_open.png"
