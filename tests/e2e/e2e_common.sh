# Shared steps of the end-to-end scripts; sourced, never run by itself.
#
# A script sources this file, takes its arguments first (e2e_take_args), sets
# `artifacts` (where screenshots go), `zorva` and `server` (the programs) as
# it needs them, and then e2e_begin. Processes started through
# these functions are ended when the script ends, and the work folder goes.

# e2e_check_args COUNT USAGE ARGS...: ends with code 2 and the usage unless
# exactly COUNT arguments follow.
e2e_check_args() {
  local want=$1 usage=$2
  shift 2
  if [ $# -ne "$want" ]; then
    echo "usage: $0 $usage" >&2
    exit 2
  fi
}

# e2e_run_on_own_display ARGS...: runs the whole script again with ARGS on a
# virtual display of its own; returns at once when already there. Xvfb picks
# a free display number itself and names it only once it takes connections,
# so tests started together never share or wait on a display.
e2e_run_on_own_display() {
  [ -z "${ZORVA_E2E_ON_XVFB:-}" ] || return 0
  export ZORVA_E2E_ON_XVFB=1
  local rc=0
  e2e_xvfb_dir=$(mktemp -d)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp \
    3>"$e2e_xvfb_dir/display" 2>"$e2e_xvfb_dir/xvfb.log" &
  e2e_xvfb_pid=$!
  trap 'kill "$e2e_xvfb_pid" 2>/dev/null; rm -rf "$e2e_xvfb_dir"' EXIT
  until grep -q . "$e2e_xvfb_dir/display" 2>/dev/null; do
    if ! kill -0 "$e2e_xvfb_pid" 2>/dev/null; then
      echo "FAIL: Xvfb did not start" >&2
      cat "$e2e_xvfb_dir/xvfb.log" >&2
      exit 1
    fi
    sleep 0.05
  done
  DISPLAY=:$(head -n 1 "$e2e_xvfb_dir/display") bash "$0" "$@" || rc=$?
  exit "$rc"
}

# e2e_take_client_args ARGS...: for a script run as
#   SCRIPT ZORVA ZORVA_SERVER CONTENT_DIR HELP_PAGE ARTIFACT_DIR
# checks the arguments, moves to a display of its own and sets `zorva`,
# `server`, `content`, `help_page` and `artifacts`.
e2e_take_client_args() {
  e2e_take_args "ZORVA ZORVA_SERVER CONTENT_DIR HELP_PAGE ARTIFACT_DIR" \
    "zorva server content help_page artifacts" "$@"
}

# e2e_take_args USAGE NAMES ARGS...: checks that ARGS has one argument per
# variable in NAMES, moves to a display of its own and sets those variables
# in order.
e2e_take_args() {
  local usage=$1 names i=1 name
  read -ra names <<<"$2"
  shift 2
  e2e_check_args "${#names[@]}" "$usage" "$@"
  e2e_run_on_own_display "$@"
  for name in "${names[@]}"; do
    printf -v "$name" '%s' "${!i}"
    i=$((i + 1))
  done
}

# e2e_begin FAILURE_SHOT: makes the work folder `work`, names the screenshot
# e2e_fail keeps in `artifacts`, and ends every started process on exit.
e2e_begin() {
  export LC_ALL=C.UTF-8
  export QT_QPA_PLATFORM=xcb
  e2e_failure_shot=$1
  work=$(mktemp -d)
  e2e_pids=()
  client_pid=
  trap e2e_finish EXIT
}

e2e_finish() {
  local pid
  for pid in "${e2e_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}

# e2e_fail MESSAGE...: reports the failure with a screenshot of the display
# and what the programs wrote (e2e_show_logs), and ends the test.
e2e_fail() {
  echo "FAIL: $*" >&2
  import -window root "$artifacts/$e2e_failure_shot" 2>/dev/null || true
  e2e_show_logs >&2
  exit 1
}

# What e2e_fail shows: the client's output and the end of the server's log,
# e2e_server_log_lines long. A script with other logs defines its own.
e2e_show_logs() {
  if [ -s "$work/titles" ]; then
    echo "--- lesson window titles seen"
    cat "$work/titles"
  fi
  echo "--- client output"
  cat "$work/client.log" || true
  echo "--- server log"
  tail -n "${e2e_server_log_lines:-20}" "$work/server.log" || true
}

# e2e_start_listening OUT LOG COMMAND...: starts a server command that prints
# "listening on URL" to OUT, its errors to LOG, and sets `base` to the URL.
e2e_start_listening() {
  local out=$1 log=$2 pid
  shift 2
  # Created before the command starts, so the first look finds it.
  : >"$out"
  "$@" >"$out" 2>"$log" &
  pid=$!
  e2e_pids+=("$pid")
  base=
  for _ in $(seq 300); do
    base=$(sed -n 's/^listening on \(http:\/\/[^ ]*\).*/\1/p' "$out" | head -n 1)
    [ -n "$base" ] && return 0
    kill -0 "$pid" 2>/dev/null || e2e_fail "$(basename "$1") did not start"
    sleep 0.1
  done
  e2e_fail "$(basename "$1") reported no address"
}

# e2e_start_server USER PASSWORD CONTENT_DIR: zorva-server on a port of its
# own with one user, its database in $work/zorva.db, its output in
# $work/server.out and its log in $work/server.log; sets `base`.
e2e_start_server() {
  "$server" add-user "$1" "$2" --db "$work/zorva.db" >/dev/null
  e2e_start_listening "$work/server.out" "$work/server.log" \
    "$server" serve --listen 127.0.0.1:0 --content "$3" --db "$work/zorva.db"
}

# e2e_prepare_client_dir DIR VERSION_FILE HELP_PAGE [ZUPDATE]: a client
# working directory holding VERSION_FILE as zorva.xml (the server's own means
# no update question), the help page and, if given, the updater.
e2e_prepare_client_dir() {
  mkdir -p "$1/help"
  cp "$2" "$1/zorva.xml"
  cp "$3" "$1/help/help.htm"
  if [ $# -ge 4 ]; then
    cp "$4" "$1/zupdate.exe"
  fi
}

# e2e_start_client DIR [OUTPUT]: zorva started in DIR, its output in OUTPUT
# ($work/client.log unless given); sets `client_pid`.
e2e_start_client() {
  (cd "$1" && exec "$zorva") >"${2:-$work/client.log}" 2>&1 &
  client_pid=$!
  e2e_pids+=("$client_pid")
}

# e2e_serve_and_start_client USER PASSWORD CONTENT_DIR CANDIDATES [ZUPDATE]:
# zorva-server with one user (e2e_start_server), the client's server list
# CANDIDATES with {base} standing for the server's address, and zorva
# started in a fresh `client_dir` holding the server's version, the help
# page `help_page` and, if given, the updater.
e2e_serve_and_start_client() {
  e2e_start_server "$1" "$2" "$3"
  export ZORVA_SERVER_CANDIDATES=${4//\{base\}/$base}
  client_dir=$work/client
  e2e_prepare_client_dir "$client_dir" "$3/zorva.xml" "$help_page" "${@:5}"
  e2e_start_client "$client_dir"
}

# e2e_begin_signed_in FAILURE_SHOT USER PASSWORD CANDIDATES: e2e_begin, then
# the client started against a fresh server (e2e_serve_and_start_client)
# and signed in as USER, who stays in `user` and `password`.
e2e_begin_signed_in() {
  e2e_begin "$1"
  user=$2
  password=$3
  e2e_serve_and_start_client "$user" "$password" "$content" "$4"
  e2e_sign_in "$user" "$password"
}

# e2e_find_main_frame [VERSION]: waits for the main frame whose title shows
# VERSION (2.0) and sets `frame` to it.
e2e_find_main_frame() {
  frame=$(e2e_find_window "Zorva学习娱乐空间 版本${1:-2.0}" 120) ||
    e2e_fail "the main frame of version ${1:-2.0} did not appear"
}

# e2e_sign_in [--shot FILE] [--replace-name] USER PASSWORD: as a user would,
# waits for the login dialog, clicks into the user name box, types the name,
# Tab to the password, types it and presses Enter. --shot keeps a screenshot
# of the dialog in `artifacts`; --replace-name first selects a name the
# dialog already shows, so that typing replaces it.
e2e_sign_in() {
  local shot= replace= login
  while [ $# -gt 2 ]; do
    case $1 in
      --shot) shot=$2; shift 2 ;;
      --replace-name) replace=1; shift ;;
      *) echo "e2e_sign_in: unknown option $1" >&2; exit 2 ;;
    esac
  done
  login=$(e2e_find_window '欢迎您进入Zorva学习娱乐空间' 120) || e2e_fail "the login dialog did not appear"
  e2e_focus "$login"
  [ -z "$shot" ] || e2e_shot "$shot"
  # The events go to the dialog in order: no pause is needed between them.
  e2e_click "$login" $e2e_login_user_name
  [ -z "$replace" ] || xdotool key ctrl+a
  xdotool type --delay 30 "$1"
  xdotool key Tab
  xdotool type --delay 30 "$2"
  xdotool key Return
}

# e2e_find_window TITLE [SECONDS]: prints the id of a shown window whose
# title is exactly TITLE, waiting up to SECONDS (60) for it; fails (status 1)
# when none comes. xdotool's own name match is a byte-wise regular expression
# that also takes other titles, so each candidate's title is compared.
e2e_find_window() {
  local until=$((SECONDS + ${2:-60})) id
  while :; do
    for id in $(xdotool search --onlyvisible --name "$1" 2>/dev/null); do
      if [ "$(xdotool getwindowname "$id" 2>/dev/null)" = "$1" ]; then
        echo "$id"
        return 0
      fi
    done
    [ $SECONDS -lt "$until" ] || return 1
    sleep 0.1
  done
}

# e2e_window_gone TITLE [SECONDS]: waits up to SECONDS (10) until no shown
# window has the title TITLE; fails (status 1) when one stays.
e2e_window_gone() {
  local until=$((SECONDS + ${2:-10}))
  while e2e_find_window "$1" 0 >/dev/null; do
    [ $SECONDS -lt "$until" ] || return 1
    sleep 0.1
  done
}

# e2e_focus WINDOW: gives WINDOW the keyboard focus and waits until it holds.
# A window that just closed may hand the focus back to the root after the
# request, so the request is repeated until the focus stays put.
e2e_focus() {
  for _ in $(seq 50); do
    xdotool windowactivate "$1" 2>/dev/null || xdotool windowfocus "$1" 2>/dev/null || true
    sleep 0.1
    if [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; then
      sleep 0.1
      [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ] && return 0
    fi
  done
  e2e_fail "window $1 did not take the keyboard focus"
}

# e2e_du X Y: a point given in the dialog templates' units (6 x 13 pixel
# base units) as "X Y" in pixels.
e2e_du() {
  echo "$(($1 * 6 / 4)) $(($2 * 13 / 8))"
}

# Where a user clicks, as "X Y" pixels inside the window, taken once from the
# templates. The login dialog's user name box stands at (79, 43), 88 x 12.
e2e_login_user_name=$(e2e_du 123 49)
# The lesson window's button row: the middles of "应用列表" (3, 8, 38 x 14),
# "播放", "上一页", "下一页" and "暂停" (each 42 to the right of the last); and
# the tree's first row (the tree stands at 4, 25).
e2e_lesson_app_list=$(e2e_du 22 15)
e2e_lesson_play=$(e2e_du 64 15)
e2e_lesson_previous_page=$(e2e_du 106 15)
e2e_lesson_next_page=$(e2e_du 148 15)
e2e_lesson_pause=$(e2e_du 190 15)
e2e_lesson_tree_first_row=$(e2e_du 30 30)

# e2e_click WINDOW X Y: a left click at pixel (X, Y) inside WINDOW, the one way
# every script clicks.
e2e_click() {
  xdotool mousemove --sync --window "$1" "$2" "$3" click 1
}

# e2e_wait_still [SECONDS]: waits until the screen holds still (two dumps
# 0.3 s apart alike), at most SECONDS (5), so that what a window draws after
# a change is on the screen; a screen that keeps moving (a movie) counts as
# settled when the time is up.
e2e_wait_still() {
  local until=$((SECONDS + ${1:-5})) last="$work/still.a" next="$work/still.b"
  xwd -root -silent >"$last"
  while [ $SECONDS -lt "$until" ]; do
    sleep 0.3
    xwd -root -silent >"$next"
    cmp -s "$last" "$next" && return 0
    mv "$next" "$last"
  done
}

# e2e_shot FILE: a screenshot of the whole screen, once it holds still, kept
# as FILE in `artifacts`.
e2e_shot() {
  e2e_wait_still
  import -window root "$artifacts/$1"
}

# e2e_wait_lesson_window: waits for the lesson window with its catalogue
# loaded (its title "主窗口") and drawn; sets `lesson` (its window) and
# `lesson_x`, `lesson_y` (its place).
e2e_wait_lesson_window() {
  lesson=$(e2e_find_window 主窗口 120) || e2e_fail "the lesson window did not appear"
  e2e_wait_still
  eval "$(xdotool getwindowgeometry --shell "$lesson")"
  lesson_x=$X
  lesson_y=$Y
}

# e2e_wait_title PATTERN [SECONDS [WHAT]]: waits up to SECONDS (60) until the
# lesson window's title matches PATTERN (an extended regular expression),
# noting each title it sees in $work/titles; ends the test, naming WHAT,
# when it does not come or the client ends.
e2e_wait_title() {
  local until=$((SECONDS + ${2:-60})) title
  while :; do
    kill -0 "$client_pid" 2>/dev/null || e2e_fail "the client ended"
    title=$(xdotool getwindowname "$lesson" 2>/dev/null || true)
    [ "$title" = "$(tail -n 1 "$work/titles" 2>/dev/null)" ] || echo "$title" >>"$work/titles"
    echo "$title" | grep -Eq "$1" && return 0
    [ $SECONDS -lt "$until" ] ||
      e2e_fail "${3:-the title of the lesson window did not match $1} (the title is \"$title\")"
    sleep 0.1
  done
}

# e2e_outer WINDOW: "X Y WIDTH HEIGHT" of WINDOW with the frame a window
# manager put around it (the window alone where there is none).
e2e_outer() {
  local info x y w h left right top bottom
  info=$(xwininfo -id "$1")
  x=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
  y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
  w=$(sed -n 's/.*Width: *//p' <<<"$info")
  h=$(sed -n 's/.*Height: *//p' <<<"$info")
  read -r left right top bottom < <(xprop -id "$1" _NET_FRAME_EXTENTS |
    sed -n 's/.*= //p' | tr -d ,) || true
  echo "$((x - ${left:-0})) $((y - ${top:-0})) $((w + ${left:-0} + ${right:-0}))" \
    "$((h + ${top:-0} + ${bottom:-0}))"
}

# e2e_start_window_manager: openbox on this display, owning the screen before
# any window of the test maps, so that windows are decorated, placed and
# focused as on a desktop.
e2e_start_window_manager() {
  openbox --sm-disable >"$work/openbox.log" 2>&1 &
  e2e_pids+=("$!")
  for _ in $(seq 300); do
    wmctrl -m >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  e2e_fail "openbox did not take the screen: $(cat "$work/openbox.log")"
}

# e2e_accept_program_update [SHOT]: waits for the update question, keeps a
# screenshot SHOT of it in `artifacts` when given, answers Yes and checks that
# the client (`client_pid`) then ends with code 1, handing over.
e2e_accept_program_update() {
  local question code=0
  question=$(timeout 60 xdotool search --sync --onlyvisible --name '^信息$' | head -n 1) ||
    e2e_fail "the update question did not appear"
  if [ $# -ge 1 ]; then
    sleep 0.5
    import -window root "$artifacts/$1"
  fi
  xdotool windowfocus --sync "$question" || true
  xdotool key Return
  wait "$client_pid" || code=$?
  [ "$code" = 1 ] || e2e_fail "the client ended with code $code after handing over, not 1"
}

# e2e_begin_offscreen FAILURE_SHOT: e2e_begin for a script that needs no
# display (Qt draws offscreen); e2e_fail shows the end of every log and
# output file in `work` and the working directory $work/data/zorva.
e2e_begin_offscreen() {
  e2e_begin "$1"
  export QT_QPA_PLATFORM=offscreen
  e2e_show_logs() {
    local f
    for f in "$work"/*.log "$work"/*.out "$work"/data/zorva/zorva.log; do
      [ -f "$f" ] && { echo "--- $f"; tail -n 30 "$f"; }
    done
  }
}

# e2e_begin_with_build FAILURE_SHOT ARGS...: for a script run as
#   SCRIPT BUILD_DIR
# checks the argument, sets `build` (also where screenshots go) and begins
# off screen with `tmp` naming the work folder.
e2e_begin_with_build() {
  local shot=$1
  shift
  e2e_check_args 1 BUILD_DIR "$@"
  build=$1
  artifacts=$build
  e2e_begin_offscreen "$shot"
  tmp=$work
}
