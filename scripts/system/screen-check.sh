# The host's half of the screen case: lumo.service's view on an emulated display, read
# back and compared with lumo-render --scope, the display unplugged and plugged in again
# while the show plays.  Sourced by scripts/test-system (which defines fail, render and
# checker, and sources boot.sh); `screen_case IMAGE_DIR WORK` boots the machine, which
# runs scripts/system/screen-guest.sh, and checks what it left.
#
# The display is a bochs-display (Debian's bochs DRM driver, dumb buffers that Mesa's
# kms_swrast draws into), not the default VGA, so that it is the machine's only card.  It
# is 400x300, so that the software renderer under emulation draws a picture every few
# seconds (the view's square is 300 pixels, as in the offscreen GPU test).
#
# The unplug is the connector's, as an HDMI cable's is (screen-guest.sh): removing the
# whole card (qemu's device_del, then device_add in another slot, as qemu 7.2 aborts on
# a second card at the first one's PCI address) works in qemu and in the kernel, but
# Mesa's kms_swrast then writes through a null pointer in the process that drew on the
# removed card (a segfault in kms_swrast_dri.so about a second later), which ends the
# show; lumo cannot guard against that from outside Mesa.
screen_device=bochs-display,xres=400,yres=300
screen_side=300
screen_grabber=build-ci/tests/e2e/lumo-screen-grab
screen_matcher=build-ci/tests/e2e/lumo-screen-match

# The shots are taken in the show's closing figure (119.9 … 153.6 s), which turns slowly:
# the scope there is the same picture (correlation ≥ 0.98 after the blur) 50 ms either
# side of an instant, and another one 3 s away (below 0.94), whereas lumo's clips change
# within 20 ms.  Under emulation the software renderer draws a picture every few seconds
# and starts drawing half a minute into the show (its shaders compiled), so the shorter
# held figures earlier in the show (the titles, the still logo) would fall between
# pictures.  Each shot is compared with the render at its own instant, the one its
# picture began at, placed on the capture's clock to about 20 ms.
screen_held_figure="119.9 153.6"
screen_shots=(early middle late)

# What the guest noted in times.txt, and the seconds from one note to another.
screen_time() { sed -n "s/^$2=//p" "$1/times.txt"; }
screen_seconds() { awk -v a="$(screen_time "$1" "$3")" -v b="$(screen_time "$1" "$2")" 'BEGIN { printf "%.1f", a - b }'; }

screen_case() {  # screen_case IMAGE_DIR WORK
  local image=$1 share=$2
  [[ -x $screen_grabber && -x $screen_matcher ]] || fail "build-ci has no lumo-screen-grab or lumo-screen-match"
  mkdir -p "$share/out"
  cp -r dist "$share/dist"
  cp scripts/system/screen-guest.sh "$share/run"
  cp scripts/system/guest-lib.sh "$share/"
  cp "$screen_grabber" "$share/"
  cp "$stall_watch" "$share/stall-watch"
  local out=$share/out start=$SECONDS
  guest_boot "$image" "$share" 600 -vga none -device "$screen_device" ||
    { tail -30 "$out/run.log" >&2; fail "the screen guest's run failed"; }
  echo "== test-system: the screen machine (install, 150 s of the show with the view) took $((SECONDS - start)) s"
  check_screen "$out"
}

check_screen() {  # check_screen OUT
  local out=$1
  # The capture's frame 0 on CLOCK_MONOTONIC: each position line is the card's frame
  # count at an instant of that clock read to 10 ms.  The card's clock drifts from the
  # guest's by a few hundred parts per million, tens of milliseconds over the show, so
  # each shot is placed by the position read just after it (the lines after the four
  # read as the show started); all agree to well within 0.1 s.
  local zeros=() spread first
  mapfile -t zeros < <(awk '{ printf "%.4f\n", $1 - $2 / 96000 }' "$out/capture-position.txt")
  spread=$(printf '%s\n' "${zeros[@]}" | sort -n | sed -n '1p;$p' | paste -sd' ' | awk '{ printf "%.3f", $2 - $1 }')
  awk -v s="$spread" 'BEGIN { exit !(s <= 0.1) }' ||
    fail "screen: the capture's positions disagree by $spread s: $(cat "$out/capture-position.txt")"
  first=$("$checker" count "$out/capture.raw" | awk '{ printf "%.4f", $3 / 96000 }')
  # The capture as a WAV file, for lumo-render --scope --input: the pictures are those of
  # the sound the card played, whatever seed this play drew.
  python3 - "$out/capture.raw" "$out/capture.wav" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
header = struct.pack("<4sI4s4sIHHIIHH4sI", b"RIFF", 36 + len(data), b"WAVE", b"fmt ", 16, 3, 2, 96000,
                     96000 * 8, 8, 32, b"data", len(data))
open(sys.argv[2], "wb").write(header + data)
PY
  # Each shot's instant on the capture (its frame's drawing began then) and on the show.
  local names=() ats=() name drawn
  while read -r name drawn _; do
    names+=("$name")
    ats+=("$(awk -v d="${drawn#drawn_at=}" -v z="${zeros[$((4 + ${#names[@]} - 1))]:-}" 'BEGIN { printf "%.3f", d - z }')")
  done <"$out/grabs.txt"
  ((${#zeros[@]} == 4 + ${#names[@]})) || fail "screen: ${#zeros[@]} capture positions for ${#names[@]} shots"
  ((${#names[@]} == 3)) || fail "screen: ${#names[@]} shots instead of 3: $(cat "$out/grabs.txt")"
  local renders=$out/renders
  mkdir -p "$renders"
  "$render" --scope "$renders" --at "$(IFS=,; echo "${ats[*]}")" --input "$out/capture.wav" --size "$screen_side" \
    2>/dev/null || fail "screen: lumo-render --scope --input failed"
  local i j from to show others result
  read -r from to <<<"$screen_held_figure"
  for i in "${!names[@]}"; do
    [[ ${names[$i]} == "${screen_shots[$i]}" ]] || fail "screen: shot ${names[$i]} where ${screen_shots[$i]} was meant"
    show=$(awk -v a="${ats[$i]}" -v f="$first" 'BEGIN { printf "%.3f", a - f }')
    awk -v s="$show" -v a="$from" -v b="$to" 'BEGIN { exit !(s >= a + 0.1 && s <= b - 0.1) }' ||
      fail "screen: shot ${names[$i]} at show time $show s, outside the closing figure ($from … $to s)"
    others=()
    for j in "${!ats[@]}"; do ((j == i)) || others+=("$renders/scope-${ats[$j]}.png"); done
    result=$("$screen_matcher" "$out/${names[$i]}.ppm" "$out/${names[$i]}.png" "$renders/scope-${ats[$i]}.png" "${others[@]}") ||
      fail "screen: shot ${names[$i]} at show time $show s does not match the scope there (and only there): $result"
    echo "test-system: (screen) ${names[$i]} shot at show time $show s: against the render there" \
      "$(awk 'NR == 1 { printf "%.4f, against those of the other shots", $2 } NR > 1 { printf " %.4f", $2 }' <<<"$result")"
  done
  # The journal (checked after the pictures, whose numbers are worth seeing either way):
  # the show's three lines and the view's own, nothing from Mesa or ALSA.
  # An underrun only in a stall of the machine itself (as in the x86-64 cases).
  local xruns=0 t stalls
  stalls=$(big_stalls "$out")
  for t in $(xrun_times "$out"); do
    explained "$t" 2 0.1 <<<"$stalls" ||
      fail "screen: lumo's device ran dry at $t s since boot with the view on and the machine running: $(grep -m1 -F "$t" "$out/lumo.timed-journal")"
    xruns=$((xruns + 1))
  done
  local show_lines view_lines
  show_lines=$(grep -vE '^Screen: |an underrun|Broken pipe|^Audio: [0-9]+ underruns?, longest [0-9]+ ms$' "$out/lumo.journal" | grep -c . || true)
  view_lines=$(grep '^Screen: ' "$out/lumo.journal" | sed 's/ on [^ ]* [0-9]*x[0-9]* [0-9]* Hz\./ on D./' | paste -sd'|')
  ((show_lines == 3)) && [[ $(head -1 "$out/lumo.journal") == "Output device : hw:CARD=Loopback,DEV=1" ]] ||
    fail "screen: the journal holds other lines than the show's three: $(grep -v '^Screen: ' "$out/lumo.journal")"
  case $view_lines in
    "Screen: the view is on D.|Screen: the display was unplugged; the view resumes when one is connected.|Screen: the view is back on D.") ;;
    *) fail "screen: the view said: $(grep '^Screen: ' "$out/lumo.journal")" ;;
  esac
  # The sound never stopped, the display's loss and return included.
  local gaps
  gaps=$("$checker" gaps "$out/capture.raw" | awk '$1 == "GAPS" { print $2 }')
  ((gaps <= xruns)) || fail "screen: $gaps gaps in the capture, $xruns underruns in the machine's stalls: $("$checker" gaps "$out/capture.raw" | grep '^gap')"

  echo "test-system: (screen) the view's first pictures $(screen_seconds "$out" view_on first_pictures) s after it" \
    "started, then $(awk '{ split($2, d, "="); split($3, s, "="); t += s[2] - d[2]; n++ } END { printf "%.2f", t / n }' "$out/grabs.txt") s a picture"
  echo "test-system: (screen) the journal: the show's 3 lines and the view's 3 (on, lost, back); lumo's own underruns 0;" \
    "$xruns underruns and $gaps gaps in the machine's own stalls;" \
    "display unplugged $(screen_seconds "$out" unplugged replugged) s (the view noticed in" \
    "$(screen_seconds "$out" unplugged view_off) s), view back $(screen_seconds "$out" replugged view_back) s after the replug"
}
