#!/usr/bin/env bash
# The first frame after sign-in: the real client signs in against
# zorva-server (sample content), and as soon as the lesson window's
# catalogue is there the first lesson is selected and "播放" pressed, as a
# user in a hurry would. Prints, for each run and as the median, the time
# from pressing Enter in the login dialog to the first frame of the lesson's
# first page, and from pressing "播放" to it. A figure, not a test.
#
# usage: signin_bench.sh ZORVA ZORVA_SERVER CONTENT_DIR HELP_PAGE [RUNS]
set -euo pipefail

if [ $# -lt 4 ]; then
  echo "usage: $0 ZORVA ZORVA_SERVER CONTENT_DIR HELP_PAGE [RUNS]" >&2
  exit 2
fi
source "$(dirname "$0")/../../tests/e2e/e2e_common.sh"
e2e_run_on_own_display "$@"
zorva=$(realpath "$1")
server=$(realpath "$2")
content=$(realpath "$3")
help_page=$(realpath "$4")
runs=${5:-5}
artifacts=$(mktemp -d)
user=benchuser
password=bench-Pass1
export ZORVA_LOG_DEBUG=1

now_ms() { echo $(($(date +%s%N) / 1000000)); }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

from_enter=()
from_play=()
for run in $(seq "$runs"); do
  (
    e2e_begin bench_signin_failure.png
    e2e_serve_and_start_client "$user" "$password" "$content" '{base}'
    e2e_sign_in "$user" "$password"
    entered=$(now_ms)
    # The lesson window comes up with its catalogue read; looked for every
    # 20 ms (xdotool's own --sync looks only every half second).
    lesson=
    until [ -n "$lesson" ]; do
      [ $(($(now_ms) - entered)) -lt 120000 ] || e2e_fail "the lesson window did not appear"
      lesson=$(xdotool search --onlyvisible --name '^主窗口$' 2>/dev/null | head -n 1) || true
      [ -n "$lesson" ] || sleep 0.02
    done
    # The catalogue's first subject, opened; then its first lesson and
    # "播放", in one run of xdotool so that the user is as quick as can be.
    read -r first_x first_y <<<"$e2e_lesson_tree_first_row"
    read -r play_x play_y <<<"$e2e_lesson_play"
    xdotool mousemove --sync --window "$lesson" "$first_x" "$first_y" click 1 key Down Down \
      mousemove --sync --window "$lesson" "$play_x" "$play_y" click 1
    played=$(now_ms)
    until grep -q "shows its first frame" "$work/client.log"; do
      kill -0 "$client_pid" 2>/dev/null || e2e_fail "the client ended"
      [ $(($(now_ms) - played)) -lt 60000 ] || e2e_fail "no first frame"
      sleep 0.02
    done
    shown=$(now_ms)
    echo "$((shown - entered)) $((shown - played))"
  ) >"$artifacts/run" || { cat "$artifacts/run"; exit 1; }
  read -r enter play <"$artifacts/run"
  echo "run $run: Enter to first frame $enter ms, 播放 to first frame $play ms (load $(cut -d' ' -f1-3 /proc/loadavg))"
  from_enter+=("$enter")
  from_play+=("$play")
done
echo "sign-in to first frame: $(printf '%s\n' "${from_enter[@]}" | median) ms median of $runs" \
  "($(printf '%s\n' "${from_enter[@]}" | sort -n | head -1)-$(printf '%s\n' "${from_enter[@]}" | sort -n | tail -1))"
echo "播放 to first frame: $(printf '%s\n' "${from_play[@]}" | median) ms median of $runs" \
  "($(printf '%s\n' "${from_play[@]}" | sort -n | head -1)-$(printf '%s\n' "${from_play[@]}" | sort -n | tail -1))"
rm -rf "$artifacts"
