#!/usr/bin/env bash
# Runs inside the x86-64 guest as /mnt/host/run (scripts/test-system copies it there), in
# two boots of one machine.  The first installs lumo with apt from the shared apt
# repository /mnt/host/dist, sets lumo.service up to play on the loopback card from the
# next boot on, and asks for that boot.  The second boot's service plays the whole show
# under load; then lumo raspi plays on a second card, each show with the machine to
# itself (but for the load); then the service is restarted, stopped and removed.  This script collects the evidence into
# /mnt/host/out, which the host checks: the recordings, lumo's journal, timestamps
# (seconds since boot) in times.txt, and the machine's own stalls (lumo-stall-watch,
# copied in as /mnt/host/stall-watch).
set -euo pipefail
out=/mnt/host/out
phase_file=/var/lib/guest-phase
source /mnt/host/guest-lib.sh
# Records a loopback capture side for SECONDS, in the format lumo's stream gets, at a
# real-time priority above lumo's worker: a recorder that falls behind would lose what
# lumo played.
record() {  # record DEVICE FILE SECONDS
  chrt -f 20 arecord -q -D "$1" -f FLOAT_LE -c 2 -r 96000 -t raw --buffer-time=1000000 -d "$3" "$2" >/dev/null
}

capture_unit() {  # capture_unit NAME CARD DEV BEFORE: records that capture device into /var/tmp/NAME.raw
  cat >"/etc/systemd/system/$1.service" <<UNIT
[Unit]
Description=Records the capture side of $2
After=systemd-modules-load.service
Before=$4

[Service]
Type=exec
ExecStartPre=/bin/sh -c 'cut -d" " -f1 /proc/uptime >/var/tmp/$1.start'
ExecStart=/usr/bin/arecord -q -D hw:CARD=$2,DEV=$3 -f FLOAT_LE -c 2 -r 96000 -t raw --buffer-time=1000000 /var/tmp/$1.raw
ExecStartPost=/bin/sleep 0.5
CPUSchedulingPolicy=fifo
CPUSchedulingPriority=20

[Install]
WantedBy=multi-user.target
UNIT
}

first_boot() {
  install_lumo
  # Two loopback cards, each unbound on its own: one under the HiFiBerry's name for lumo
  # raspi, first as the Pi's only card would be, and "Loopback" for the service.
  echo snd-aloop >/etc/modules-load.d/loopback.conf
  echo "options snd-aloop enable=1,1 id=sndrpihifiberry,Loopback" >/etc/modprobe.d/loopback.conf
  sed -i 's/^LUMO_DEVICE=.*/LUMO_DEVICE=loopback/; s/^LUMO_PAUSE=.*/LUMO_PAUSE=600/' /etc/default/lumo
  systemctl enable -q lumo.service
  # On a Pi the HiFiBerry's driver has no card file in alsa-lib, so its sysdefault is
  # alsa-lib's generic one, plug over the card's hw device.  The loopback driver's own
  # card file routes sysdefault through dmix at 48 kHz instead, which takes no float and
  # resamples: lumo raspi reads a copy of alsa-lib's files without it, and so meets the
  # routing it meets on the Pi.
  cp -r /usr/share/alsa /etc/alsa-as-on-pi
  sed -i '/^Loopback\.pcm\.default {/,/^}/d' /etc/alsa-as-on-pi/cards/Loopback.conf
  # lumo raspi on the second card, started once the service's show is over.
  cat >/etc/systemd/system/lumo-raspi.service <<'UNIT'
[Unit]
Description=lumo raspi on the card named as the HiFiBerry
After=systemd-modules-load.service

[Service]
Type=simple
Environment=ALSA_CONFIG_DIR=/etc/alsa-as-on-pi
ExecStart=/usr/bin/lumo raspi
RemainAfterExit=yes
LimitRTPRIO=20
LimitMEMLOCK=infinity
UNIT
  # The recorders are ready before lumo opens their cards' other sides.
  capture_unit capture Loopback 0 lumo.service
  capture_unit raspi-capture sndrpihifiberry 1 lumo-raspi.service
  # What the machine's own stalls were while lumo played (lumo-stall-watch, from the host).
  install -m 755 /mnt/host/stall-watch /usr/local/bin/lumo-stall-watch
  cat >/etc/systemd/system/stall-watch.service <<'UNIT'
[Unit]
Description=Watches for the machine standing still
Before=lumo.service

[Service]
Type=exec
ExecStart=/usr/local/bin/lumo-stall-watch
StandardOutput=file:/var/tmp/stalls.txt

[Install]
WantedBy=multi-user.target
UNIT
  systemctl enable -q lumo.service capture.service stall-watch.service
  echo 2 >"$phase_file"
  touch /run/guest-reboot
}

lumo_pid() { pgrep -u lumo -x lumo; }
time_of_note() { sed -n "s/^$1=//p" "$out/times.txt"; }

# Whether a card's playback device DEV is running (lumo's stream has started).
playing() { grep -qs RUNNING "/proc/asound/$1/pcm$2p/sub0/status"; }
# Whether UNIT's lumo plays on CARD's playback device DEV, failing at once when the unit
# has failed.
unit_plays() {  # unit_plays UNIT CARD DEV
  ! systemctl is-failed -q "$1" ||
    fail "$1 failed: $(journalctl -b -q -o cat -u "$1" | tail -5); the cards: $(aplay -L | grep -i card= | tr '\n' ' ')"
  playing "$2" "$3"
}

# lumo raspi on the second card: it picked the HiFiBerry's name and plays; the card goes
# away for four seconds and comes back while it plays; it ends the show with status 0.
raspi_rebind() {
  # Early in the show, so that the clip the clock says is one of the opening three even
  # on a slow host: two seconds after the guest saw it play.
  sleep "$(awk -v p="$(time_of_note raspi_playing)" -v n="$(uptime_now)" 'BEGIN { d = p + 2 - n; print (d > 0 ? d : 0) }')"
  systemctl stop raspi-capture.service
  note unbind "$(uptime_now)"
  echo snd_aloop.0 >/sys/bus/platform/drivers/snd_aloop/unbind
  sleep 4
  note bind "$(uptime_now)"
  echo snd_aloop.0 >/sys/bus/platform/drivers/snd_aloop/bind
  wait_for 10 test -e /proc/asound/sndrpihifiberry || fail "the card did not come back"
  note rebind_record_start "$(uptime_now)"
  record hw:CARD=sndrpihifiberry,DEV=1 /var/tmp/rebind.raw 3
}

second_boot() {
  note run_start "$(uptime_now)"
  wait_for 300 unit_plays lumo.service Loopback 1 || fail "lumo.service did not play within 300 s"
  note service_playing "$(uptime_now)"
  local pid
  pid=$(lumo_pid)
  # The show's load: twice the guest's CPUs, from the first seconds of the play to its end.
  stress-ng --cpu $((2 * $(nproc))) --timeout 200s --quiet &
  local stress=$!
  note stress_cpus $((2 * $(nproc)))
  # The service's sandbox as it runs: its user, its worker's policy, its locked memory.
  {
    ps -o user=,pid=,comm= -p "$pid"
    ps -L -o cls=,rtprio=,comm= -p "$pid"
    grep VmLck "/proc/$pid/status"
  } >"$out/sandbox.txt"
  wait_for 400 sh -c '! pgrep -u lumo -x lumo >/dev/null' || fail "the service's play did not end"
  note play_end "$(uptime_now)"
  kill "$stress"
  wait "$stress" || true
  systemctl stop capture.service
  # lumo raspi's failure is the host's to report, after the service's cases.
  systemctl start raspi-capture.service lumo-raspi.service
  if wait_for 120 unit_plays lumo-raspi.service sndrpihifiberry 0; then
    note raspi_playing "$(uptime_now)"
    raspi_rebind
    wait_for 300 sh -c '! systemctl show -P MainPID lumo-raspi | grep -qv "^0$"' || fail "lumo raspi did not end"
    note raspi_status "$(systemctl show -P ExecMainStatus lumo-raspi)"
  else
    { journalctl -b -q -o cat -u lumo-raspi.service | tail -5; aplay -L; cat /proc/asound/cards; } >"$out/raspi.failure"
  fi
  systemctl stop lumo-raspi.service
  systemctl stop stall-watch.service
  cp /var/tmp/stalls.txt "$out/"
  journalctl -b -q -o cat _SYSTEMD_UNIT=lumo.service >"$out/lumo.journal"
  journalctl -b -q -o short-monotonic _SYSTEMD_UNIT=lumo.service >"$out/lumo.timed-journal"
  journalctl -b -q -o short-monotonic _SYSTEMD_UNIT=lumo-raspi.service >"$out/raspi.journal"
  journalctl -b -o short-monotonic >"$out/boot.journal"
  cp /var/tmp/*.start /var/tmp/*.raw "$out/"
  lifecycle
}

# restart, stop, remove and purge: nothing of lumo's left running, nothing in the journal
# at error level.
lifecycle() {
  local since
  since=$(date +%s.%N)
  sleep 0.1
  local old
  old=$(pgrep -u lumo | tr '\n' ' ')
  systemctl restart lumo.service
  wait_for 60 lumo_pid >/dev/null || fail "no lumo after systemctl restart"
  [[ $(pgrep -u lumo -x lumo | wc -l) == 1 ]] || fail "more than one lumo after restart: $(pgrep -a -u lumo)"
  for p in $old; do ! kill -0 "$p" 2>/dev/null || fail "process $p of the old service survived the restart"; done
  echo "restart: lumo $(lumo_pid) alone" >>"$out/lifecycle.txt"
  systemctl stop lumo.service
  [[ -z $(pgrep -u lumo) ]] || fail "left running after stop: $(pgrep -a -u lumo)"
  echo "stop: no process of user lumo" >>"$out/lifecycle.txt"
  systemctl start lumo.service
  wait_for 60 lumo_pid >/dev/null || fail "no lumo after systemctl start"
  DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq lumo >/dev/null
  [[ -z $(pgrep -u lumo) ]] || fail "left running after apt-get remove: $(pgrep -a -u lumo)"
  [[ ! -e /usr/bin/lumo && ! -e /usr/lib/systemd/system/lumo.service ]] || fail "apt-get remove left lumo's files"
  [[ -e /etc/default/lumo ]] || fail "apt-get remove took the settings (a conffile) too"
  echo "remove (while playing): no process, program and unit gone, settings kept" >>"$out/lifecycle.txt"
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq lumo >/dev/null
  [[ ! -e /etc/default/lumo ]] || fail "apt-get purge left /etc/default/lumo"
  ! dpkg -s lumo >/dev/null 2>&1 || fail "dpkg still knows lumo after purge"
  echo "purge: settings gone, package unknown" >>"$out/lifecycle.txt"
  journalctl -q -p err --since "@$since" -o short-monotonic >"$out/lifecycle.errors" || true
}

case $(cat "$phase_file" 2>/dev/null || echo 1) in
  1) first_boot ;;
  2) second_boot ;;
esac
