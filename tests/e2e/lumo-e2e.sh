#!/usr/bin/env bash
# lumo run as a user runs it, against the private device of virtual-audio.sh (run this
# script under it).  Every lumo and recorder started here is stopped by its PID.
#
#   lumo-e2e.sh CASE LUMO [CHECKER]
#
# CASE: default | raspi | loopback | no-loopback | no-card | full-run | show-start |
#       server-restart | stress | no-screen
set -euo pipefail

case_name=$1
lumo=$2
checker=${3:-}
work=$(mktemp -d "${TMPDIR:-/tmp}/lumo-e2e.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  for file in "$work"/lumo.out "$work"/lumo.err; do
    [[ -f $file ]] && { echo "--- $file" >&2; head -20 "$file" >&2; }
  done
  exit 1
}

start_lumo() {
  "$lumo" "$@" >"$work/lumo.out" 2>"$work/lumo.err" </dev/null &
  lumo_pid=$!
  pids+=("$lumo_pid")
}

# Waits (up to $1 seconds) for lumo's three lines.
wait_for_lines() {
  for _ in $(seq $(($1 * 10))); do
    (($(wc -l <"$work/lumo.out") >= 3)) && return 0
    kill -0 "$lumo_pid" 2>/dev/null || fail "lumo ended before printing its lines"
    sleep 0.1
  done
  fail "lumo printed no three lines in $1 s"
}

# Waits (up to $1 seconds, the show is rendered first) until lumo's stream reaches the
# sound server, and prints its section of the server's stream list.
wait_for_stream() {
  for _ in $(seq $(($1 * 10))); do
    local inputs
    inputs=$(pactl list sink-inputs 2>/dev/null || true)
    if grep -q "application.process.id = \"$lumo_pid\"" <<<"$inputs"; then
      printf '%s\n' "$inputs"
      return 0
    fi
    kill -0 "$lumo_pid" 2>/dev/null || fail "lumo ended before its stream opened"
    sleep 0.1
  done
  fail "lumo's stream did not open in $1 s"
}

expect_line() {
  local number=$1 expected=$2 actual
  actual=$(sed -n "${number}p" "$work/lumo.out")
  [[ $actual == "$expected" ]] || fail "line $number is '$actual', expected '$expected'"
}

stop_lumo() {
  kill -0 "$lumo_pid" 2>/dev/null || fail "lumo is no longer running"
  kill "$lumo_pid"
  wait "$lumo_pid" 2>/dev/null || true
}

# The CPU time a process has used so far, in clock ticks.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# Underruns lumo reported on stderr, one line each.
underrun_lines() { grep -c -E "Broken pipe \(32\)'$|\(an underrun\)" "$work/lumo.err" || true; }

# Takes the private sound server away under lumo's playing stream (by its PID) for three
# seconds, then checks that lumo idled meanwhile and plays on, at the show's time, within
# two seconds of the server's return: at about 3 s of show time clip 3 is playing; after
# the restart, at about 6 to 9 s, clip 4.
server_restart() {
  local pid before after
  sleep 3
  pid=$(cat "$LUMO_AUDIO_DIR/server.pid")
  "$LUMO_AUDIO_DIR/server" stop
  kill -0 "$pid" 2>/dev/null && fail "the sound server $pid did not stop"
  before=$(cpu_ticks "$lumo_pid")
  sleep 3
  after=$(cpu_ticks "$lumo_pid")
  "$LUMO_AUDIO_DIR/server" start
  record "$work/restart.raw" -d 3
  echo "while the server was away lumo used $((after - before)) clock ticks of CPU in 3 s;" \
    "$(wc -l <"$work/lumo.err") lines on stderr"
  ((after - before <= 30)) || fail "lumo was busy while the device was away"
  "$checker" resume "$work/restart.raw" 4 || fail "no sound at the show's time after the server came back"
  (($(wc -l <"$work/lumo.err") <= 10)) || fail "more than a handful of lines on stderr"
  kill -0 "$lumo_pid" 2>/dev/null || fail "lumo ended"
}

record() {  # record FILE [ARECORD OPTION...]
  local file=$1
  shift
  arecord -q -D default -f FLOAT_LE -c 2 -r 96000 -t raw --buffer-time=100000 "$@" "$file"
}

expect_device() {  # expect_device ARGUMENT NAME
  start_lumo "$1"
  wait_for_lines 60
  expect_line 1 "Output device : $2"
  expect_line 2 "Device : Ok(\"$2\")"
  wait_for_stream 120 >/dev/null
  stop_lumo
  echo "lumo $1 chose $2 and opened its stream"
}

case $case_name in
default)
  start_lumo
  wait_for_lines 60
  expect_line 1 "Output device : default"
  expect_line 2 'Device : Ok("default")'
  line3=$(sed -n 3p "$work/lumo.out")
  [[ $line3 =~ ^"Default output config : SupportedStreamConfig { channels: "[0-9]+", sample_rate: SampleRate("[0-9]+"), buffer_size: "(Range\ \{\ min:\ [0-9]+,\ max:\ [0-9]+\ \}|Unknown)", sample_format: F32 }"$ ]] ||
    fail "line 3 is '$line3'"
  (($(wc -l <"$work/lumo.out") == 3)) || fail "more than three lines on standard output"
  stream=$(wait_for_stream 120)
  # The server's view of lumo's queue: about 100 ms, not the seconds of an unbounded buffer.
  latency=$(awk -v pid="\"$lumo_pid\"" '/^Sink Input/ {l=""} /Buffer Latency:/ {l=$3} $0 ~ "application.process.id = " pid {print l}' <<<"$stream")
  [[ -n $latency ]] && ((latency <= 200000)) || fail "lumo's buffer latency is '$latency' us"
  begin=$(date +%s%N)
  record "$work/capture.raw" -d 3
  end=$(date +%s%N)
  counts=$("$checker" count "$work/capture.raw")
  read -r frames nonsilent _ <<<"$counts"
  wall_ms=$(((end - begin) / 1000000))
  echo "recorded $frames frames ($nonsilent not silent) in $wall_ms ms; lumo's buffer latency $latency us"
  ((frames == 288000)) || fail "recorded $frames frames, expected 288000"
  ((wall_ms >= 2700 && wall_ms <= 4000)) || fail "3 s of audio arrived in $wall_ms ms"
  ((nonsilent >= 144000)) || fail "only $nonsilent of $frames frames carry sound"
  stop_lumo
  ;;
raspi) expect_device raspi "sysdefault:CARD=sndrpihifiberry" ;;
no-screen)
  # --screen where there is no display device (as on this machine, or with /dev/dri
  # hidden): one sentence on stderr, and the show plays as without it.
  [[ ! -e /dev/dri ]] || { echo "this machine has /dev/dri: the view's fault is not tested here"; exit 77; }
  start_lumo default --screen
  wait_for_lines 60
  expect_line 1 "Output device : default"
  wait_for_stream 120 >/dev/null
  record "$work/capture.raw" -d 3
  read -r frames nonsilent _ <<<"$("$checker" count "$work/capture.raw")"
  ((nonsilent >= frames / 2)) || fail "only $nonsilent of $frames frames carry sound with --screen"
  stop_lumo
  # (An underrun on a loaded machine may add its own line.)
  grep -c "^Screen: " "$work/lumo.err" | grep -qx 1 || fail "not one line about the view: $(cat "$work/lumo.err")"
  grep -q "^Screen: .*, so the show plays without the view\.$" "$work/lumo.err" || fail "no sentence about the view"
  echo "lumo default --screen without a display device: $(cat "$work/lumo.err")"
  ;;
loopback) expect_device loopback "hw:CARD=Loopback,DEV=1" ;;
no-loopback)
  status=0
  timeout 60 "$lumo" loopback >"$work/lumo.out" 2>"$work/lumo.err" </dev/null || status=$?
  ((status == 101)) || fail "exit status $status, expected 101"
  grep -q "Failed to find the Loopback device" "$work/lumo.err" || fail "no 'Failed to find the Loopback device' on stderr"
  [[ ! -s $work/lumo.out ]] || fail "standard output is not empty"
  echo "lumo loopback without the device: status 101"
  ;;
no-card)
  # No card at all (alsa-lib's own configuration, a card that is not there): the one
  # problem reaches the user once, in lumo's words, without alsa-lib's own lines.
  status=0
  ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf ALSA_CARD=lumo-no-such-card timeout 60 "$lumo" \
    >"$work/lumo.out" 2>"$work/lumo.err" </dev/null || status=$?
  ((status == 1)) || fail "exit status $status, expected 1"
  [[ $(head -1 "$work/lumo.err") == "Error: "* ]] || fail "standard error does not begin with lumo's 'Error: '"
  ! grep -q "^ALSA lib" "$work/lumo.err" || fail "alsa-lib printed its own lines"
  echo "lumo without a card: status 1, $(wc -l <"$work/lumo.err") lines of lumo's own on stderr"
  ;;
full-run)
  # The whole show, with the sound server taken away and back early on (see server_restart).
  [[ -n ${CI:-} ]] || { echo "the full 160-second run is left to CI (set CI to run it)"; exit 77; }
  begin=$(date +%s)
  start_lumo
  wait_for_lines 60
  wait_for_stream 120 >/dev/null
  server_restart
  status=0
  wait "$lumo_pid" || status=$?
  underruns=$(underrun_lines)
  echo "lumo ran $(($(date +%s) - begin)) s, exit status $status," \
    "$(grep -c "Error building output sound stream" "$work/lumo.err" || true) stream errors reported," \
    "$underruns underruns; $(grep "^Audio: .*underrun" "$work/lumo.err" || echo "no summary")"
  ((status == 0)) || fail "exit status $status"
  if ((underruns > 0)); then
    grep -q "^Audio: $underruns underruns\?, longest [0-9]* ms$" "$work/lumo.err" || fail "no summary of $underruns underruns"
  fi
  ;;
server-restart)
  start_lumo
  wait_for_lines 60
  wait_for_stream 120 >/dev/null
  server_restart
  stop_lumo
  ;;
stress)
  # A minute of the show on a machine whose two cores are kept busy, recorded from the
  # sink's monitor: every gap in the recording must be one lumo counted.  The sound server
  # gets real-time priority as on a desktop (where possible), because a gap it makes by
  # itself is not one an ALSA client can see.
  [[ -n ${CI:-} ]] || { echo "the 60-second run under load is left to CI (set CI to run it)"; exit 77; }
  command -v stress-ng >/dev/null || fail "stress-ng is not installed (scripts/setup installs it)"
  chrt -a -f -p 5 "$(cat "$LUMO_AUDIO_DIR/server.pid")" >/dev/null 2>&1 ||
    echo "the sound server runs at normal priority"
  record "$work/capture.raw" &
  recorder_pid=$!
  pids+=("$recorder_pid")
  sleep 0.5
  start_lumo
  wait_for_lines 60
  wait_for_stream 120 >/dev/null
  stress-ng --cpu 2 --timeout 60s --quiet &
  pids+=($!)
  sleep 60
  kill -TERM "$recorder_pid"
  wait "$recorder_pid" 2>/dev/null || true
  stop_lumo
  "$checker" gaps "$work/capture.raw" >"$work/gaps.txt"
  gaps=$(awk '$1 == "GAPS" {print $2}' "$work/gaps.txt")
  underruns=$(underrun_lines)
  grep -v "^GAPS" "$work/gaps.txt" || true
  echo "under stress-ng --cpu 2: $gaps gaps in the recording, $underruns underruns reported"
  [[ -n $gaps ]] || fail "the recording was not checked"
  ((underruns >= gaps)) || fail "$gaps gaps in the recording but only $underruns underruns reported"
  ;;
show-start)
  # The recorder runs first, so the capture holds the silence before lumo's first frame.
  arecord -q -D default -f FLOAT_LE -c 2 -r 96000 -t raw --buffer-time=100000 "$work/capture.raw" &
  recorder_pid=$!
  pids+=("$recorder_pid")
  sleep 0.5
  start_lumo
  wait_for_lines 60
  wait_for_stream 120 >/dev/null
  sleep 19  # past the end of clip 5 at 18 s, into title 1
  # SIGTERM: a background job of a script ignores SIGINT.  The recorder ends cleanly on it.
  kill -TERM "$recorder_pid"
  wait "$recorder_pid" 2>/dev/null || true
  stop_lumo
  "$checker" show-start "$work/capture.raw"
  ;;
*)
  echo "unknown case $case_name" >&2
  exit 2
  ;;
esac
