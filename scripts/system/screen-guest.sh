#!/usr/bin/env bash
# Runs inside the x86-64 guest as /mnt/host/run for the screen case (scripts/test-system
# copies it there), in one boot of the machine with a bochs-display and no VGA: lumo is
# installed with apt from /mnt/host/dist, and lumo.service plays on the loopback card with
# LUMO_SCREEN=yes, its view on /dev/dri/card0 through Mesa's software renderer.  While
# it plays, the display is unplugged and plugged in again, and lumo-screen-grab
# (/mnt/host/lumo-screen-grab) reads the screen back at known instants of the show.  The
# evidence goes to /mnt/host/out:
# the shots and grabs.txt (their CLOCK_MONOTONIC instants), the capture of the card and
# its positions (from which the host places the capture on the same clock), lumo's
# journal, times.txt.
set -euo pipefail
out=/mnt/host/out
grab=/mnt/host/lumo-screen-grab
source /mnt/host/guest-lib.sh
playing() { grep -qs RUNNING /proc/asound/Loopback/pcm1p/sub0/status; }
card_present() { compgen -G '/dev/dri/card*' >/dev/null; }
view_says() { journalctl -q -o cat -u lumo.service | grep -qF "$1"; }

# The capture side's position against the guest's clock, a line each time it is asked:
# "UPTIME HW_PTR" (reading the status brings the card's position up to the moment; the
# uptime, which is CLOCK_MONOTONIC here, is read just after, to 10 ms).  One process reads
# both: a process started between them would put up to a fifth of a second of the emulated
# machine's process start-up between the two.
capture_position() {
  awk '$1 == "hw_ptr" { position = $3 } FILENAME == "/proc/uptime" { print $1, position }' \
    /proc/asound/Loopback/pcm0c/sub0/status /proc/uptime >>"$out/capture-position.txt"
}

# A shot of the screen once the show is past about AT seconds (the show's clock from the
# service's first play on): NAME.ppm and a line "NAME drawn_at=… shown_at=… WxH".
shot() {  # shot NAME AT
  local wait
  wait=$(awk -v s="$show_start" -v a="$2" -v n="$(uptime_now)" 'BEGIN { w = s + a - n; print (w > 0 ? w : 0) }')
  sleep "$wait"
  local taken
  taken=$("$grab" "$out/$1.ppm" 30) || fail "no shot $1 of the screen: the view drew no new picture"
  echo "$1 $taken" >>"$out/grabs.txt"
  capture_position
}

# lumo's journal and the boot's, however the run ends: a failure is explained by them.
collect() {
  cp /var/tmp/capture.raw "$out/" 2>/dev/null || true
  journalctl -b -q -o cat _SYSTEMD_UNIT=lumo.service >"$out/lumo.journal" || true
  journalctl -b -q -o short-monotonic _SYSTEMD_UNIT=lumo.service >"$out/lumo.timed-journal" || true
  journalctl -b -o short-monotonic >"$out/boot.journal" || true
}
trap collect EXIT

install_lumo
modprobe snd-aloop
wait_for 10 test -e /proc/asound/Loopback || fail "no loopback card"
card_present || fail "no DRM device: $(ls /dev/dri 2>&1)"
sed -i 's/^LUMO_DEVICE=.*/LUMO_DEVICE=loopback/; s/^LUMO_PAUSE=.*/LUMO_PAUSE=600/; s/^LUMO_SCREEN=.*/LUMO_SCREEN=yes/' \
  /etc/default/lumo
# The emulated card has no Mesa driver of its own: Mesa draws with its software
# renderer, llvmpipe, which compiles the shaders to machine code that the service's
# MemoryDenyWriteExecute would not let run (lumo then plays without the view); the
# override lets it for this machine only.  Mesa is told to take kms_swrast at once, or it
# first tries a "bochs-drm" driver and says so on stderr.  A Pi's vc4 or v3d needs
# neither.  llvmpipe's 128-bit code draws two to three times faster under emulation than
# its 256-bit (AVX) code, a picture every few seconds; and it draws on the view's own
# thread, not on one thread per CPU, so that the view keeps to one of the guest's two.
mkdir -p /etc/systemd/system/lumo.service.d
printf '[Service]\nMemoryDenyWriteExecute=no\nEnvironment=MESA_LOADER_DRIVER_OVERRIDE=kms_swrast LP_NATIVE_VECTOR_WIDTH=128 LP_NUM_THREADS=0\n' \
  >/etc/systemd/system/lumo.service.d/software-renderer.conf
systemctl daemon-reload
# Mesa's drivers (with LLVM, about 150 MB) come from the emulated disk the first time: read
# once before the show, as on a machine that has run for a while, so that their loading
# when the view starts is not a stall of the whole emulated machine.
cat /usr/lib/x86_64-linux-gnu/dri/kms_swrast_dri.so /usr/lib/x86_64-linux-gnu/libLLVM-*.so* >/dev/null
# The recorder opens the capture side first, so the card keeps to its format, and runs
# above lumo's worker: one that fell behind would lose what lumo played.
chrt -f 20 arecord -q -D hw:CARD=Loopback,DEV=0 -f FLOAT_LE -c 2 -r 96000 -t raw --buffer-time=1000000 \
  /var/tmp/capture.raw &
recorder=$!
sleep 0.5
# The machine's own stalls while lumo plays (lumo-stall-watch, scripts/system/x86-check.sh).
/mnt/host/stall-watch >/var/tmp/stalls.txt &
watcher=$!
note service_start "$(uptime_now)"
systemctl start lumo.service
wait_for 300 playing || fail "lumo.service did not play within 300 s: $(journalctl -q -o cat -u lumo.service | tail -5)"
show_start=$(uptime_now)
note playing "$show_start"
for _ in 1 2 3 4; do capture_position; sleep 0.3; done
wait_for 120 view_says "Screen: the view is on" || fail "the view did not start: $(journalctl -q -o cat -u lumo.service)"
note view_on "$(uptime_now)"
# The first pictures take long under emulation: the software renderer compiles each
# shader to machine code as it is first drawn with.
"$grab" /var/tmp/first.ppm 120 >/dev/null || fail "the view drew no picture within 120 s of starting"
note first_pictures "$(uptime_now)"

# The display is unplugged while the show plays and plugged in again four seconds later,
# as an HDMI cable is: the connector reports no display (its status forced off through
# sysfs, with the hot-plug event the kernel sends), then the kernel probes it again.
connector=$(compgen -G '/sys/class/drm/card*-*/status' | head -1) || fail "no connector in /sys/class/drm"
note unplugged "$(uptime_now)"
echo off >"$connector"
wait_for 30 view_says "Screen: the display was unplugged" || fail "the view did not notice the unplug: $(journalctl -q -o cat -u lumo.service | tail -3)"
note view_off "$(uptime_now)"
sleep 4
note replugged "$(uptime_now)"
echo detect >"$connector"
wait_for 60 view_says "Screen: the view is back on" || fail "the view did not come back: $(journalctl -q -o cat -u lumo.service | tail -3)"
note view_back "$(uptime_now)"
# Three instants of the closing figure, which the show holds for 33 s while it turns
# slowly (scripts/system/screen-check.sh says why): each shot is the first picture the
# view begins after the time asked.
shot early 122
shot middle 130
shot late 139
systemctl stop lumo.service
note stopped "$(uptime_now)"
sleep 0.5
kill "$recorder" "$watcher"
wait "$recorder" || true
wait "$watcher" || true
cp /var/tmp/stalls.txt "$out/"
