# Boots the emulated machines of the system tests.  Sourced by scripts/test-system.
#
#   guest_boot IMAGE_DIR SHARE SECONDS [QEMU ARGUMENT...]
#     boots the x86-64 image that guest_image built, with the folder SHARE shared in as
#     /mnt/host: the guest runs SHARE/run as root (SHARE/out/run.log holds its output,
#     SHARE/out/status its exit status) and powers off.  Its disk is booted -snapshot: a
#     reboot the run asks for keeps what it changed, the image never does.  Extra qemu
#     arguments add devices (a display, say).  Fails when the machine does not power off
#     within SECONDS or the run's status is not 0.
#
#   guest_boot_arm64 KERNEL INITRD SHARE SECONDS [QEMU ARGUMENT...]
#     the same for the arm64 machine, whose initramfs is its whole system.
#
# Both run under TCG: KVM where the tests run is nested and boots a kernel more slowly
# than emulation does.  LUMO_GUEST_ACCEL=kvm asks for it anyway.

guest_accel=${LUMO_GUEST_ACCEL:-tcg}

# The serial console goes to SHARE/out/console.log; on a failure its last lines are shown.
run_machine() {  # run_machine SHARE SECONDS QEMU...
  local share=$1 seconds=$2
  shift 2
  command -v "$1" >/dev/null || { echo "test-system: $1 is not installed (scripts/setup installs it)." >&2; return 1; }
  mkdir -p "$share/out"
  rm -f "$share/out/status"
  local start=$SECONDS status=0
  timeout "$seconds" "$@" -accel "$guest_accel" -nic none -display none -monitor none \
    -serial "file:$share/out/console.log" \
    -virtfs "local,path=$share,mount_tag=host,security_model=none,id=host" </dev/null || status=$?
  echo "test-system: $1 ran $((SECONDS - start)) s" >&2
  if ((status == 124)); then
    echo "test-system: the machine did not power off within $seconds s; its console ended:" >&2
    tail -20 "$share/out/console.log" >&2
    return 1
  fi
  ((status == 0)) || { echo "test-system: $1 failed with status $status" >&2; return 1; }
  if [[ ! -f $share/out/status ]]; then
    echo "test-system: the machine stopped before its run ended; its console ended:" >&2
    tail -20 "$share/out/console.log" >&2
    return 1
  fi
  [[ $(cat "$share/out/status") == 0 ]]
}

# no_timer_check: the kernel's test of the IO-APIC timer counts ticks against a loop that
# emulation on a busy host runs too slowly, and panics ("IO-APIC + timer doesn't work").
guest_boot() {  # guest_boot IMAGE_DIR SHARE SECONDS [QEMU ARGUMENT...]
  local image=$1 share=$2 seconds=$3
  shift 3
  # One CPU: its emulating thread then has a host core to itself on a 2-core host, so
  # the guest's time seldom jumps while that thread waits for the host (the sound card
  # takes a jump for lumo falling behind; lumo-stall-watch tells those apart); the load
  # inside the guest is the test's.
  run_machine "$share" "$seconds" qemu-system-x86_64 -M pc -cpu max -smp 1 -m 1024 \
    -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
    -append "console=ttyS0 root=/dev/vda rw quiet loglevel=3 systemd.show_status=false mitigations=off cryptomgr.notests no_timer_check preempt=full" \
    -drive "file=$image/root.ext4,format=raw,if=virtio,snapshot=on" "$@"
}

guest_boot_arm64() {  # guest_boot_arm64 KERNEL INITRD SHARE SECONDS [QEMU ARGUMENT...]
  local kernel=$1 initrd=$2 share=$3 seconds=$4
  shift 4
  # One CPU, as the x86-64 machine has.
  run_machine "$share" "$seconds" qemu-system-aarch64 -M virt -cpu cortex-a53 -smp 1 -m 1024 \
    -kernel "$kernel" -initrd "$initrd" -append "console=ttyAMA0 quiet loglevel=3 mitigations=off" "$@"
}
