# The host's half of the x86-64 cases: what scripts/system/x86-guest.sh left in OUT,
# checked with lumo-render and lumo-capture-check.  Sourced by scripts/test-system, which
# defines fail, render and checker.  Each case prints its numbers.

time_of() { sed -n "s/^$2=//p" "$1/times.txt"; }
seconds_after() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a - b }'; }
at_most() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a <= b) }'; }
first_sound_s() { "$checker" count "$1" | awk '{ printf "%.3f", $3 / 96000 }'; }
# A journal line's seconds since boot (journalctl -o short-monotonic: "[  12.345678] …").
journal_time() { grep -m1 -F "$2" "$1" | sed 's/^\[ *\([0-9.]*\)\].*/\1/'; }

check_x86() {  # check_x86 OUT
  local out=$1
  local first
  # (a) the service at boot, recorded whole and matched against the offline render of two
  # seeds: where they agree, the capture must be the render sample for sample.
  "$render" --wav "$out/a.wav" --format f32 --seed 1 2>/dev/null
  "$render" --wav "$out/b.wav" --format f32 --seed 2 2>/dev/null
  local match
  match=$("$checker" match "$out/capture.raw" "$out/a.wav" "$out/b.wav") || fail "the capture differs from lumo-render --wav: $match"
  first=$(first_sound_s "$out/capture.raw")
  echo "test-system: (a) lumo.service at boot: $(grep MATCHED <<<"$match");" \
    "first sound $(awk -v a="$(cat "$out/capture.start")" -v b="$first" 'BEGIN { printf "%.1f", a + b }') s after the" \
    "second boot began (TCG, emulated time); install with apt-get took" \
    "$(seconds_after "$(time_of "$out" install_end)" "$(time_of "$out" install_start)") s"
  read -r user _ <"$out/sandbox.txt"
  [[ $user == lumo ]] || fail "lumo.service runs as $user"
  grep -q '^ *FF *10 ' "$out/sandbox.txt" || fail "no SCHED_FIFO 10 thread in lumo.service: $(cat "$out/sandbox.txt")"
  local locked
  locked=$(awk '/VmLck/ { print $2 }' "$out/sandbox.txt")
  ((locked > 0)) || fail "lumo.service locked no memory"
  echo "test-system: (a) sandbox: user lumo, a SCHED_FIFO 10 worker, $((locked / 1024)) MB locked"

  # (c) the same play under stress-ng: no gap the score does not explain, no underrun.
  local gaps
  gaps=$("$checker" gaps "$out/capture.raw" | awk '$1 == "GAPS" { print $2 }')
  [[ $gaps == 0 ]] || fail "$gaps gaps in the capture under load: $("$checker" gaps "$out/capture.raw" | grep '^gap')"
  ! grep -q underrun "$out/lumo.journal" || fail "lumo reported underruns: $(grep underrun "$out/lumo.journal")"
  echo "test-system: (c) the whole show under stress-ng --cpu $(time_of "$out" stress_cpus): 0 gaps, 0 underruns"

  # (f) the journal of the whole play: lumo's three lines and nothing else.
  (($(wc -l <"$out/lumo.journal") == 3)) || fail "lumo.service's journal holds more than lumo's three lines: $(cat "$out/lumo.journal")"
  [[ $(head -1 "$out/lumo.journal") == "Output device : hw:CARD=Loopback,DEV=1" ]] ||
    fail "lumo.service's first line is $(head -1 "$out/lumo.journal")"
  echo "test-system: (f) the play's journal: 3 lines, '$(head -1 "$out/lumo.journal")'"

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
  local bind show_at_bind clip heard delay
  bind=$(time_of "$out" bind)
  show_at_bind=$(seconds_after "$bind" "$(awk -v a="$(cat "$out/raspi-capture.start")" -v b="$(first_sound_s "$out/raspi-capture.raw")" 'BEGIN { print a + b }')")
  clip=$(awk -v t="$show_at_bind" 'BEGIN { print 3 + int(t / 6) }')
  ((clip >= 4 && clip <= 5)) || fail "the card came back at show time $show_at_bind s, outside the clips this case knows"
  "$checker" resume "$out/rebind.raw" "$clip" >"$out/resume.txt" || fail "after the bind: $(cat "$out/resume.txt")"
  heard=$(sed -n 's/^sound from capture frame [0-9]* (\([0-9.]*\) s)$/\1/p' "$out/resume.txt")
  delay=$(awk -v r="$(time_of "$out" rebind_record_start)" -v b="$bind" -v h="$heard" 'BEGIN { printf "%.3f", r - b + h }')
  at_most "$delay" 1.0 || fail "sound came back $delay s after the bind"
  [[ $(time_of "$out" raspi_status) == 0 ]] || fail "lumo raspi ended with status $(time_of "$out" raspi_status)"
  echo "test-system: (d) unbound 4 s: one notice each way, sound back $delay s after the bind, clip $clip at show" \
    "time $show_at_bind s ($(sed -n 2p "$out/resume.txt")), exit 0"

}
