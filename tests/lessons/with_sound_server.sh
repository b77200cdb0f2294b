#!/usr/bin/env bash
# Runs a command against a private PulseAudio daemon with one null sink, so
# that ALSA's "default" device has a real "Master" volume on a machine with no
# sound card. Everything the daemon and its clients use lives in a temporary
# folder of its own, so parallel runs never meet and no user session is
# touched. Works as root and as an ordinary user.
#
#   with_sound_server.sh PROGRAM [ARGS...]
#
# Listing tests (--gtest_list_tests) needs no daemon and starts none.
set -uo pipefail

for arg in "$@"; do
  if [ "$arg" = "--gtest_list_tests" ]; then exec "$@"; fi
done

T=$(mktemp -d "${TMPDIR:-/tmp}/zorva-sound.XXXXXX") || exit 1
daemon=""
cleanup() {
  if [ -n "$daemon" ]; then
    kill -TERM "$daemon" 2>/dev/null
    wait "$daemon" 2>/dev/null
  fi
  rm -rf "$T"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -p "$T/run" "$T/home"
chmod 700 "$T/run"
echo "autospawn = no" >"$T/client.conf"
export XDG_RUNTIME_DIR="$T/run" HOME="$T/home" PULSE_CLIENTCONFIG="$T/client.conf"
# Clients must not find a server of the user's session instead of ours.
unset PULSE_SERVER PULSE_COOKIE

# Off any shared session bus: a second daemon on the same bus exits.
env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY -u WAYLAND_DISPLAY \
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
  --disable-shm=yes --realtime=no --high-priority=no \
  --log-target="file:$T/pulse.log" \
  -L module-null-sink -L module-native-protocol-unix &
daemon=$!

for _ in $(seq 1 500); do
  [ -S "$XDG_RUNTIME_DIR/pulse/native" ] && break
  if ! kill -0 "$daemon" 2>/dev/null; then
    echo "with_sound_server: pulseaudio did not start:" >&2
    cat "$T/pulse.log" >&2
    daemon=""
    exit 1
  fi
  sleep 0.01
done
if [ ! -S "$XDG_RUNTIME_DIR/pulse/native" ]; then
  echo "with_sound_server: pulseaudio did not answer within 5 s" >&2
  cat "$T/pulse.log" >&2
  exit 1
fi

# Tests that stop the daemon themselves find it here.
export ZORVA_TEST_PULSE_PID="$daemon"
"$@"
