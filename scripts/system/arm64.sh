# The arm64 machine (qemu-system-aarch64 -M virt, Cortex-A53): Debian's own arm64 kernel
# with an initramfs that is the whole system, sourced by scripts/test-system.  A systemd
# root for arm64 would have to run its maintainer scripts under emulation while it is
# built; this machine needs only the kernel's loopback card, lumo, arecord and a shell.
#
#   arm64_system DEB    prints the folder holding vmlinuz and initrd.img (cached in
#                       build-system/arm64-HASH/, keyed by the package and this file)
#
# The userland is busybox, lumo's /usr/bin/lumo out of DEB, arecord, and the arm64
# libraries both link (this machine's own :arm64 ones, installed for the cross build).
# At boot it loads snd-aloop, mounts the shared folder, records the capture side while
# `lumo loopback` plays for 20 s, and powers off.

arm64_packages=(linux-image-arm64 busybox-static alsa-utils)

arm64_system() {  # arm64_system DEB
  local deb=$1
  local hash
  hash=$( (sha256sum "$deb"; cat "${BASH_SOURCE[0]}") | sha256sum | cut -c1-16)
  local dir=build-system/arm64-$hash
  if [[ -f $dir/initrd.img ]]; then
    echo "$dir"
    return
  fi
  local start=$SECONDS
  rm -rf build-system/arm64-*
  mkdir -p "$dir/debs" "$dir/root"
  local kernel
  kernel=$(apt-cache depends linux-image-arm64:arm64 | sed -n 's/^ *Depends: \(linux-image-[^:]*\).*/\1/p' | head -1)
  [[ -n $kernel ]] || { echo "test-system: apt knows no linux-image-arm64:arm64 (scripts/setup arm64 adds the architecture)." >&2; return 1; }
  (cd "$dir/debs" && apt-get download -qq "$kernel:arm64" busybox-static:arm64 alsa-utils:arm64) >&2 ||
    { echo "test-system: the arm64 kernel, busybox-static or alsa-utils could not be downloaded." >&2; return 1; }
  local root
  root=$(realpath "$dir/root")
  for package in "$dir"/debs/*.deb "$deb"; do dpkg-deb -x "$package" "$dir/extract"; done
  mkdir -p "$root"/{bin,dev,proc,sys,mnt,tmp,lib/modules,usr/bin,usr/share,etc}
  cp "$dir/extract/bin/busybox" "$root/bin/busybox"
  for applet in sh mount mkdir cat sleep kill modprobe poweroff grep cp sync echo cut; do
    ln -s busybox "$root/bin/$applet"
  done
  cp "$dir/extract/usr/bin/lumo" "$dir/extract/usr/bin/aplay" "$root/usr/bin/"
  ln -s aplay "$root/usr/bin/arecord"
  cp -r /usr/share/alsa "$root/usr/share/alsa"
  # The libraries, as the dynamic loader looks for them.
  local multiarch=/usr/lib/aarch64-linux-gnu
  mkdir -p "$root$multiarch" "$root/lib"
  local todo=("$root/usr/bin/lumo" "$root/usr/bin/aplay") seen=" "
  while ((${#todo[@]})); do
    local file=${todo[0]}
    todo=("${todo[@]:1}")
    local library
    for library in $(readelf -d "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
      [[ $seen == *" $library "* ]] && continue
      seen+="$library "
      [[ -e $multiarch/$library ]] || { echo "test-system: $library (arm64) is not installed." >&2; return 1; }
      cp -L "$multiarch/$library" "$root$multiarch/"
      todo+=("$root$multiarch/$library")
    done
  done
  cp -L "$(ls /lib/ld-linux-aarch64.so.1 "$multiarch/ld-linux-aarch64.so.1" 2>/dev/null | head -1)" "$root/lib/"
  # The kernel's modules the machine loads, with their dependencies' list.
  local modules
  modules=$(ls -d "$dir"/extract/lib/modules/*)
  local version=${modules##*/}
  mkdir -p "$root/lib/modules/$version"
  cp "$modules"/modules.* "$root/lib/modules/$version/"
  (cd "$modules" && cp --parents -r kernel/sound kernel/fs/9p kernel/net/9p kernel/fs/netfs kernel/fs/fscache \
     kernel/drivers/virtio "$root/lib/modules/$version/")
  # The package leaves modules.dep to its postinst.
  /sbin/depmod -b "$root" "$version"
  cp "$(dirname "${BASH_SOURCE[0]}")/arm64-init.sh" "$root/init"
  chmod +x "$root/init"
  (cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$dir/initrd.img"
  cp "$dir"/extract/boot/vmlinuz-* "$dir/vmlinuz"
  rm -rf "$dir/extract" "$root" "$dir/debs"
  echo "test-system: arm64 kernel and initramfs built in $((SECONDS - start)) s ($(du -k "$dir/initrd.img" | cut -f1) KiB)" >&2
  echo "$dir"
}
