#!/usr/bin/env bash
# Start-up time of the client: from starting zorva in a fresh working
# directory until its login dialog is on screen, on an Xvfb display of its
# own. Prints every run and the median. A figure, not a test: it asserts
# nothing.
#
# usage: startup_bench.sh ZORVA [RUNS]   (default 5 runs)
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 ZORVA [RUNS]" >&2
  exit 2
fi
if [ -z "${ZORVA_BENCH_ON_XVFB:-}" ]; then
  export ZORVA_BENCH_ON_XVFB=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" bash "$0" "$@"
fi

zorva=$(realpath "$1")
runs=${2:-5}
export LC_ALL=C.UTF-8
export QT_QPA_PLATFORM=xcb
# Nobody answers here; the dialog shows before any server is asked.
export ZORVA_SERVER_CANDIDATES="http://127.0.0.1:1;http://127.0.0.1:1;http://127.0.0.1:1"
title='欢迎您进入Zorva学习娱乐空间'

work=$(mktemp -d)
pid=
finish() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# One start outside the count, so that every counted run finds the program
# and its libraries in the page cache, as a user's second start would.
times=()
for run in $(seq 0 "$runs"); do
  dir=$work/run$run
  mkdir -p "$dir"
  start=$(now_ms)
  (cd "$dir" && exec "$zorva") >"$dir/client.log" 2>&1 &
  pid=$!
  shown=
  while [ -z "$shown" ]; do
    shown=$(xdotool search --onlyvisible --name "$title" 2>/dev/null | head -n 1) || true
    if [ -z "$shown" ]; then
      kill -0 "$pid" 2>/dev/null || { cat "$dir/client.log" >&2; exit 1; }
      sleep 0.01
    fi
  done
  elapsed=$(($(now_ms) - start))
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=
  if [ "$run" -eq 0 ]; then
    echo "warm-up start: ${elapsed} ms"
  else
    echo "run $run: ${elapsed} ms"
    times+=("$elapsed")
  fi
done

median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}')
echo "start-up to login dialog, median of $runs runs: ${median} ms"
