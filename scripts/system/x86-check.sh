# The host's half of the x86-64 cases: what scripts/system/x86-guest.sh left in OUT,
# checked with lumo-render and lumo-capture-check.  Sourced by scripts/test-system, which
# defines fail, render and checker.  Each case prints its numbers.

time_of() { sed -n "s/^$2=//p" "$1/times.txt"; }
seconds_after() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a - b }'; }
at_most() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a <= b) }'; }
first_sound_s() { "$checker" count "$1" | awk '{ printf "%.3f", $3 / 96000 }'; }
# A journal line's seconds since boot (journalctl -o short-monotonic: "[  12.345678] …").
journal_time() { grep -m1 -F "$2" "$1" | sed 's/^\[ *\([0-9.]*\)\].*/\1/'; }

# The machine's own stalls (lumo-stall-watch in the guest): when the emulator's thread waits
# for a busy host, the guest's clock jumps and its sound card runs dry whatever lumo does.
# A stall counts from stall_ms: half the device's queue.
stall_ms=50
big_stalls() { awk -v least="$stall_ms" '$1 == "STALL" && $3 >= least { print $2, $3 }' "$1/stalls.txt"; }
# explained TIME BEFORE AFTER < STALLS: whether a stall began within BEFORE s before TIME
# or AFTER s after it.
explained() { awk -v t="$1" -v before="$2" -v after="$3" '$1 >= t - before && $1 <= t + after { found = 1 } END { exit !found }'; }
# The monotonic times of lumo.service's lines that say the device ran dry.
xrun_times() { grep -E "an underrun|Broken pipe" "$1/lumo.timed-journal" | sed 's/^\[ *\([0-9.]*\)\].*/\1/'; }

check_x86() {  # check_x86 OUT
  local out=$1
  local stalls
  stalls=$(big_stalls "$out")
  # (c) the play under stress-ng: every underrun lumo reports must fall in a stall of the
  # machine itself, and the capture may have a gap the score does not explain only for
  # such an underrun (the capture's own clock is not the journal's, so a gap is not
  # placed in time here).
  local t xruns=0 gaps
  for t in $(xrun_times "$out"); do
    explained "$t" 2 0.1 <<<"$stalls" ||
      fail "(c) lumo.service's device ran dry at $t s since boot with the machine running (no stall of $stall_ms ms or more): $(grep -m1 -F "$t" "$out/lumo.timed-journal")"
    xruns=$((xruns + 1))
  done
  gaps=$("$checker" gaps "$out/capture.raw" | awk '$1 == "GAPS" { print $2 }')
  ((gaps <= xruns)) ||
    fail "(c) $gaps gaps in the capture, and only $xruns underruns in the machine's stalls: $("$checker" gaps "$out/capture.raw" | grep '^gap')"
  local stall_count longest
  stall_count=$(grep -c . <<<"$stalls" || true)
  longest=$(awk 'BEGIN { m = 0 } $2 > m { m = $2 } END { print m }' <<<"$stalls")
  echo "test-system: (c) the whole show under stress-ng --cpu $(time_of "$out" stress_cpus): lumo's own underruns 0;" \
    "the machine itself stood still $stall_count times for $stall_ms ms or more (longest $longest ms: the emulator's" \
    "thread without the host's CPU), with $xruns underruns lumo reported and $gaps gaps in the capture"

  # (a) the service at boot, recorded whole and matched against the offline render of two
  # seeds: where they agree, the capture must be the render sample for sample, up to a
  # second before the first underrun of a stall (after it the sound runs behind the
  # render by the underrun's silence).  The guest saw the service playing no earlier than
  # it began, so the underrun's show time taken from then is never too late.
  "$render" --wav "$out/a.wav" --format f32 --seed 1 2>/dev/null
  "$render" --wav "$out/b.wav" --format f32 --seed 2 2>/dev/null
  local limit=() match upto=
  if ((xruns > 0)); then
    local xrun_at before_xrun
    xrun_at=$(seconds_after "$(xrun_times "$out" | head -1)" "$(time_of "$out" service_playing)")
    before_xrun=$(seconds_after "$xrun_at" 1)
    # A stall in the first seconds leaves little to match here; the arm64 machine, which
    # must match all it recorded, still holds the case.
    at_most 0.5 "$before_xrun" || before_xrun=0.5
    limit=("$before_xrun")
    upto=" (the first $before_xrun s: a second before the first underrun of the machine's stalls, at $xrun_at s)"
  fi
  match=$("$checker" match "$out/capture.raw" "$out/a.wav" "$out/b.wav" "${limit[@]}") ||
    fail "(a) the capture differs from lumo-render --wav: $match"
  local first
  first=$(first_sound_s "$out/capture.raw")
  echo "test-system: (a) lumo.service at boot: $(grep MATCHED <<<"$match")$upto;" \
    "first sound $(awk -v a="$(cat "$out/capture.start")" -v b="$first" 'BEGIN { printf "%.1f", a + b }') s after" \
    "the second boot began (TCG, emulated time); install with apt-get took" \
    "$(seconds_after "$(time_of "$out" install_end)" "$(time_of "$out" install_start)") s"
  read -r user _ <"$out/sandbox.txt"
  [[ $user == lumo ]] || fail "lumo.service runs as $user"
  grep -q '^ *FF *10 ' "$out/sandbox.txt" || fail "no SCHED_FIFO 10 thread in lumo.service: $(cat "$out/sandbox.txt")"
  local locked
  locked=$(awk '/VmLck/ { print $2 }' "$out/sandbox.txt")
  ((locked > 0)) || fail "lumo.service locked no memory"
  echo "test-system: (a) sandbox: user lumo, a SCHED_FIFO 10 worker, $((locked / 1024)) MB locked"

  # (f) the journal of the whole play: lumo's three lines and nothing else, but for the
  # underruns of the machine's stalls (above) and their count.
  local others
  others=$(sed 1,3d "$out/lumo.journal" | grep -vE "an underrun|Broken pipe|^Audio: [0-9]+ underruns?, longest [0-9]+ ms$" || true)
  [[ -z $others ]] || fail "(f) lumo.service's journal holds more than lumo's three lines: $others"
  [[ $(head -1 "$out/lumo.journal") == "Output device : hw:CARD=Loopback,DEV=1" ]] ||
    fail "(f) lumo.service's first line is $(head -1 "$out/lumo.journal")"
  echo "test-system: (f) the play's journal: lumo's 3 lines ('$(head -1 "$out/lumo.journal")')" \
    "and $(sed 1,3d "$out/lumo.journal" | grep -c . || true) about the stalls' underruns"

  # (e) restart, stop, remove, purge.
  [[ ! -s $out/lifecycle.errors ]] || fail "errors in the journal during restart/stop/remove/purge: $(cat "$out/lifecycle.errors")"
  echo "test-system: (e) $(paste -sd';' "$out/lifecycle.txt"); no error in the journal"

  # (b) lumo raspi on the card named as the HiFiBerry.
  if [[ -f $out/raspi.failure ]]; then
    fail "(b), (d): lumo raspi did not play on the card named sndrpihifiberry: $(cat "$out/raspi.failure")"
  fi
  grep -q ": Output device : sysdefault:CARD=sndrpihifiberry$" "$out/raspi.journal" ||
    fail "lumo raspi did not pick sysdefault:CARD=sndrpihifiberry: $(head -3 "$out/raspi.journal")"
  local sounding
  sounding=$("$checker" count "$out/raspi-capture.raw" | awk '{ print $2 }')
  ((sounding >= 96000)) || fail "lumo raspi played $sounding sounding frames"
  echo "test-system: (b) lumo raspi picked sysdefault:CARD=sndrpihifiberry and played $sounding sounding frames"

  # (d) that card unbound and bound again while lumo raspi played: one notice each way,
  # sound back within a second, at the show's time (the clip the clock says), status 0.
  local lost back
  lost=$(grep -c "no longer available" "$out/raspi.journal" || true)
  back=$(grep -c "is back; playback goes on" "$out/raspi.journal" || true)
  ((lost == 1 && back == 1)) || fail "$lost notices of the card's loss and $back of its return: $(cat "$out/raspi.journal")"
  # The sound after the bind is one of the opening clips, the one the show's clock says
  # (a clip voice goes on from the frame where it stopped, so only which clip it is tells
  # the clock).  lumo raspi's clock began after its first line and before the guest saw
  # it play: the guest's own clock bounds the show time from both sides.
  local clip heard delay resumed= at_least at_most_s
  for clip in 3 4 5; do
    "$checker" resume "$out/rebind.raw" "$clip" >"$out/resume.txt" && { resumed=$clip; break; }
  done
  [[ -n $resumed ]] || fail "(d) after the bind the sound is none of the show's first clips: $(cat "$out/resume.txt")"
  heard=$(sed -n 's/^sound from capture frame [0-9]* (\([0-9.]*\) s)$/\1/p' "$out/resume.txt")
  # Back within a second: lumo's notice that the device plays again, from the moment the
  # card was bound; and the sound there as soon as the recorder could listen (it starts
  # only once the card is back, which under emulation takes the guest a second or so).
  delay=$(seconds_after "$(journal_time "$out/raspi.journal" "is back; playback goes on")" "$(time_of "$out" bind)")
  at_most "$delay" 1.0 || fail "(d) lumo raspi played again $delay s after the card was bound"
  at_most "$heard" 0.5 || fail "(d) the recording of the card bound again sounded only after $heard s"
  local heard_at first_line
  heard_at=$(awk -v r="$(time_of "$out" rebind_record_start)" -v h="$heard" 'BEGIN { print r + h }')
  first_line=$(sed -n '1s/^\[ *\([0-9.]*\)\].*/\1/p' "$out/raspi.journal")
  at_least=$(awk -v h="$heard_at" -v p="$(time_of "$out" raspi_playing)" 'BEGIN { printf "%.3f", h - p - 0.5 }')
  at_most_s=$(awk -v h="$heard_at" -v f="$first_line" 'BEGIN { printf "%.3f", h - f + 0.5 }')
  awk -v c="$resumed" -v lo="$at_least" -v hi="$at_most_s" 'BEGIN { exit !(6 * (c - 2) > lo && 6 * (c - 3) <= hi) }' ||
    fail "(d) after the bind clip $resumed played, where the show's clock said $at_least to $at_most_s s"
  [[ $(time_of "$out" raspi_status) == 0 ]] || fail "lumo raspi ended with status $(time_of "$out" raspi_status)"
  echo "test-system: (d) unbound 4 s: one notice each way, playing again $delay s after the bind" \
    "(sound $heard s into the recording), clip $resumed ($(sed -n 2p "$out/resume.txt");" \
    "the clock said $at_least to $at_most_s s), exit 0"

}
