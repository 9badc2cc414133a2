#!/usr/bin/env bash
# guest-setup.sh ROOT: the x86-64 guest's own settings, applied to its root folder once,
# when the image is built (scripts/system/image.sh).  At boot the guest mounts the host's
# shared folder on /mnt/host (9p, tag "host"), runs /mnt/host/run as root with its output
# in /mnt/host/out/run.log, and powers off; a run that wants a second boot of the same
# machine touches /run/guest-reboot before it ends.
set -euo pipefail
root=$1

echo guest >"$root/etc/hostname"
printf '/dev/vda / ext4 rw,noatime 0 1\nhost /mnt/host 9p trans=virtio,version=9p2000.L,msize=1048576 0 0\n' >"$root/etc/fstab"
mkdir -p "$root/mnt/host"
chroot "$root" passwd -d root >/dev/null

cat >"$root/usr/local/sbin/guest-run" <<'SH'
#!/bin/sh
# Runs the host's script, keeps its status, and ends this boot.
mkdir -p /mnt/host/out
status=0
/mnt/host/run >>/mnt/host/out/run.log 2>&1 || status=$?
if [ -e /run/guest-reboot ]; then
    exec systemctl reboot
fi
echo "$status" >/mnt/host/out/status
sync
exec systemctl poweroff
SH
chmod +x "$root/usr/local/sbin/guest-run"
cat >"$root/etc/systemd/system/guest-run.service" <<'UNIT'
[Unit]
Description=The host's test script
Requires=mnt-host.mount
After=mnt-host.mount multi-user.target

[Service]
Type=oneshot
ExecStart=/usr/local/sbin/guest-run
StandardOutput=journal+console

[Install]
WantedBy=multi-user.target
UNIT
chroot "$root" systemctl enable guest-run.service >/dev/null 2>&1
# What a test boot does not need: each costs seconds under emulation.
for unit in apt-daily.timer apt-daily-upgrade.timer e2scrub_all.timer e2scrub_reap.service fstrim.timer \
            systemd-timesyncd.service getty@tty1.service systemd-update-utmp.service \
            systemd-update-utmp-runlevel.service man-db.timer dpkg-db-backup.timer; do
  ln -sf /dev/null "$root/etc/systemd/system/$unit"
done
# The guest has no network, and no clock worth waiting for.
mkdir -p "$root/etc/systemd/journald.conf.d"
printf '[Journal]\nStorage=volatile\n' >"$root/etc/systemd/journald.conf.d/guest.conf"
