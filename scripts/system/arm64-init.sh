#!/bin/sh
# The arm64 machine's whole system (scripts/system/arm64.sh): lumo loopback plays on the
# kernel's loopback card for 20 s while its capture side is recorded, into the host's
# shared folder /mnt/out; then the machine powers off.
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tmpfs tmp /tmp
modprobe snd-aloop
modprobe virtio_pci
modprobe 9pnet_virtio
modprobe 9p
mount -t 9p -o trans=virtio,version=9p2000.L,msize=1048576 host /mnt
out=/mnt/out
mkdir -p $out
now() { cut -d' ' -f1 /proc/uptime; }
echo "init=$(now)" >$out/times.txt
n=0
while [ ! -e /dev/snd/pcmC0D0c ] && [ $n -lt 50 ]; do sleep 0.1; n=$((n + 1)); done
arecord -q -D hw:CARD=Loopback,DEV=0 -f FLOAT_LE -c 2 -r 96000 -t raw --buffer-time=1000000 /tmp/capture.raw &
recorder=$!
echo "record_start=$(now)" >>$out/times.txt
sleep 0.5
lumo loopback >$out/lumo.out 2>$out/lumo.err &
lumo=$!
n=0
while ! grep -qs RUNNING /proc/asound/Loopback/pcm1p/sub0/status && [ $n -lt 3000 ]; do sleep 0.1; n=$((n + 1)); done
echo "playing=$(now)" >>$out/times.txt
sleep 20
kill $lumo
kill $recorder
sleep 1
cp /tmp/capture.raw $out/capture.raw
echo 0 >$out/status
sync
poweroff -f
