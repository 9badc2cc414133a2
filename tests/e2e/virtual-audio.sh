#!/usr/bin/env bash
# Runs a command against a private, real-time ALSA device: a PulseAudio daemon of its own
# with a 96000 Hz float stereo null sink, reached through a self-contained ALSA
# configuration.  Nothing outside a private temporary directory is read or changed; the
# daemon is stopped by its PID.  Exits with the command's status.
#
#   virtual-audio.sh [--without-loopback] COMMAND [ARGUMENT...]
#
# The command sees the ALSA PCMs "default" (playback to the sink, capture from its
# monitor), "sysdefault:CARD=sndrpihifiberry" and, unless --without-loopback,
# "hw:CARD=Loopback,DEV=1"; the last two play to the same sink.  LUMO_AUDIO_DIR names
# the private directory.  "$LUMO_AUDIO_DIR/server stop" stops the sound server (by its
# PID) and "$LUMO_AUDIO_DIR/server start" starts it again, for tests of a server that
# goes away; the server's PID is in "$LUMO_AUDIO_DIR/server.pid" while it runs.
set -euo pipefail

with_loopback=1
if [[ ${1:-} == --without-loopback ]]; then
  with_loopback=0
  shift
fi
if (($# == 0)); then
  echo "usage: $0 [--without-loopback] COMMAND [ARGUMENT...]" >&2
  exit 2
fi

dir=$(mktemp -d "${TMPDIR:-/tmp}/lumo-audio.XXXXXX")
stop_daemon() {
  [[ -x $dir/server ]] && "$dir/server" stop
  rm -rf "$dir"
}
trap stop_daemon EXIT

sink=lumo_sink
cat >"$dir/daemon.conf" <<CONF
exit-idle-time = -1
realtime-scheduling = no
high-priority = no
flat-volumes = no
default-sample-format = float32le
default-sample-rate = 96000
alternate-sample-rate = 96000
default-sample-channels = 2
CONF
cat >"$dir/client.conf" <<CONF
autospawn = no
CONF

# Every name a test may look for opens the same sink.  ALSA resolves a name at its first
# ':', so the bases hw and sysdefault are overridden too; their first argument has no
# default, which keeps the bare base out of the hint list.
{
  cat <<CONF
pcm.!default {
  type asym
  playback.pcm { type plug slave.pcm "lumo_sink_playback" }
  capture.pcm "lumo_sink_capture"
  hint { show on description "Private null sink" }
}
pcm.lumo_sink_playback {
  type pulse
  server "unix:$dir/native"
  device "$sink"
}
pcm.lumo_sink_capture {
  type pulse
  server "unix:$dir/native"
  device "$sink.monitor"
}
pcm.!sysdefault {
  @args [ CARD ]
  @args.CARD { type string }
  type plug
  slave.pcm "lumo_sink_playback"
  hint { show on description "Private null sink|IOIDOutput" }
}
pcm."sysdefault:CARD=sndrpihifiberry" {
  type plug
  slave.pcm "lumo_sink_playback"
}
CONF
  if ((with_loopback)); then
    cat <<CONF
pcm.!hw {
  @args [ CARD DEV ]
  @args.CARD { type string }
  @args.DEV { type integer default 0 }
  type plug
  slave.pcm "lumo_sink_playback"
  hint { show on description "Private null sink|IOIDOutput" }
}
pcm."hw:CARD=Loopback,DEV=1" {
  type plug
  slave.pcm "lumo_sink_playback"
}
CONF
  fi
} >"$dir/asound.conf"

export PULSE_CONFIG=$dir/daemon.conf
export PULSE_CLIENTCONFIG=$dir/client.conf
export PULSE_RUNTIME_PATH=$dir/runtime
export PULSE_STATE_PATH=$dir/state
export PULSE_COOKIE=$dir/cookie
export PULSE_SERVER=unix:$dir/native
export ALSA_CONFIG_PATH=$dir/asound.conf
export LUMO_AUDIO_DIR=$dir
# A ThreadSanitizer build of a test sees libpulse's own threads; they are not lumo's.
export TSAN_OPTIONS="${TSAN_OPTIONS:+$TSAN_OPTIONS }suppressions=$(cd "$(dirname "$0")" && pwd)/tsan-pulse.supp"
mkdir -p "$PULSE_RUNTIME_PATH" "$PULSE_STATE_PATH"

# The server is started and stopped by a script of its own, so a test can stop it and
# start it again under a playing stream.
{
  printf '#!/usr/bin/env bash\nsink=%s\n' "$sink"
  cat <<'SCRIPT'
set -euo pipefail
dir=$(dirname "$0")
case ${1:-} in
start)
  HOME=$dir pulseaudio -n --daemonize=no --use-pid-file=no --disallow-exit \
    --log-target=file:"$dir/pulse.log" \
    -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
    -L "module-null-sink sink_name=$sink format=float32le rate=96000 channels=2 norewinds=1" \
    </dev/null >/dev/null 2>&1 &
  echo $! >"$dir/server.pid"
  for _ in $(seq 100); do
    if pactl info >/dev/null 2>&1; then
      pactl set-default-sink "$sink" >/dev/null 2>&1 || true
      exit 0
    fi
    kill -0 "$(cat "$dir/server.pid")" 2>/dev/null || break
    sleep 0.05
  done
  echo "virtual-audio: the private PulseAudio daemon did not start" >&2
  cat "$dir/pulse.log" >&2 2>/dev/null || true
  exit 1
  ;;
stop)
  [[ -f $dir/server.pid ]] || exit 0
  pid=$(cat "$dir/server.pid")
  rm -f "$dir/server.pid"
  kill "$pid" 2>/dev/null || exit 0
  # Not a child of this script: wait for it to go, briefly.
  for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || exit 0
    sleep 0.05
  done
  kill -KILL "$pid" 2>/dev/null || true
  ;;
*)
  echo "usage: $0 start|stop" >&2
  exit 2
  ;;
esac
SCRIPT
} >"$dir/server"
chmod +x "$dir/server"
"$dir/server" start

status=0
"$@" || status=$?
exit "$status"
