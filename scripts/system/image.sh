# The x86-64 guest's root: Debian bookworm built by mmdebstrap from the machine's own apt
# sources, with systemd as init and the kernel whose snd-aloop the tests play into.  Sourced
# by scripts/test-system; `guest_image DEB [PACKAGE...]` builds it once per recipe and
# prints the folder that holds root.ext4, vmlinuz and initrd.img.
#
# The recipe is the package list (the Debian packages the tests use, the lumo package's own
# Depends, any extra ones a caller names) and this file: a change to either builds a new
# image, under build-system/image-HASH/; older ones are removed.  The downloaded packages
# are kept in build-system/debs/ so that a rebuild fetches only what changed.

# The packages a guest always has: init, the kernel and its sound drivers' tools, the load
# for the stress case.
guest_base_packages=(systemd systemd-sysv udev kmod procps alsa-utils stress-ng linux-image-amd64)

# The lumo package's runtime Depends and Recommends, one name a line: the first of each
# set of alternatives, without versions, so the image follows the package.  The guest
# has no network, so what apt would install with lumo on a user's machine (Mesa's EGL
# and drivers, which the view draws with) must be in the image already.
package_depends() {
  dpkg-deb -f "$1" Depends Recommends | sed 's/^[A-Za-z]*: //; s/([^)]*)//g; s/|[^,]*//g; s/,/\n/g' | tr -d ' ' | sed '/^$/d'
}

# The Debian sources of this machine, in deb822 form: those of its stanzas (or one-line
# entries) whose suites are all bookworm's; other vendors' repositories are left out.
host_debian_sources() {
  python3 - /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources <<'PY'
import re, sys
def bookworm(suites): return suites and all(re.fullmatch(r"bookworm(-updates|-security)?", s) for s in suites)
out = []
for path in sys.argv[1:]:
    try: text = open(path).read()
    except OSError: continue
    if path.endswith(".sources"):
        for stanza in re.split(r"\n\s*\n", text):
            fields = dict(re.findall(r"^([\w-]+):\s*(.*)$", stanza, re.M))
            if fields.get("Types", "").split() == ["deb"] and bookworm(fields.get("Suites", "").split()):
                out.append("\n".join(l for l in stanza.splitlines() if not l.startswith("#")))
    else:
        for line in text.splitlines():
            words = re.sub(r"\[[^]]*\]", "", line).split()
            if len(words) >= 4 and words[0] == "deb" and bookworm([words[2]]):
                out.append(f"Types: deb\nURIs: {words[1]}\nSuites: {words[2]}\nComponents: {' '.join(words[3:])}")
print("\n\n".join(out))
PY
}

guest_image() {  # guest_image DEB [PACKAGE...]
  local deb=$1
  shift
  local packages
  packages=$( (printf '%s\n' "${guest_base_packages[@]}" "$@"; package_depends "$deb") | sort -u | paste -sd" ")
  local hash
  hash=$( (echo "$packages"; cat "${BASH_SOURCE[0]}" "$(dirname "${BASH_SOURCE[0]}")/guest-setup.sh") | sha256sum | cut -c1-16)
  local dir=build-system/image-$hash
  if [[ -f $dir/root.ext4 ]]; then
    echo "test-system: image $dir (cached)" >&2
    echo "$dir"
    return
  fi
  command -v mmdebstrap >/dev/null || { echo "test-system: mmdebstrap is not installed (scripts/setup installs it)." >&2; return 1; }
  local start=$SECONDS sources
  rm -rf build-system/image-*
  mkdir -p "$dir" build-system/debs
  sources=$(realpath "$dir")/debian.sources
  host_debian_sources >"$sources"
  [[ -s $sources ]] || { echo "test-system: this machine has no Debian bookworm apt source to build the guest from." >&2; return 1; }
  local root=$dir/root
  # The initramfs holds only what finds the root disk: it is made once here and read by
  # every boot, where unpacking a large one under emulation costs seconds.
  mmdebstrap --variant=apt --skip=essential/unlink --quiet \
    --include="${packages// /,}" \
    --setup-hook='mkdir -p "$1/var/cache/apt/archives" "$1/etc/initramfs-tools/conf.d" "$1/etc/initramfs-tools/hooks"' \
    --setup-hook='sync-in build-system/debs /var/cache/apt/archives' \
    --setup-hook='echo MODULES=list >"$1/etc/initramfs-tools/conf.d/guest"' \
    --setup-hook='printf "#!/bin/sh\n[ \"\$1\" = prereqs ] && exit 0\n. /usr/share/initramfs-tools/hook-functions\nmanual_add_modules virtio_pci virtio_blk ext4\n" >"$1/etc/initramfs-tools/hooks/guest" && chmod +x "$1/etc/initramfs-tools/hooks/guest"' \
    --customize-hook='sync-out /var/cache/apt/archives build-system/debs' \
    --customize-hook="$(dirname "${BASH_SOURCE[0]}")/guest-setup.sh \"\$1\"" \
    bookworm "$root" "$sources" >&2
  cp "$root"/boot/vmlinuz-* "$dir/vmlinuz"
  cp "$root"/boot/initrd.img-* "$dir/initrd.img"
  rm -rf "$root/var/cache/apt/archives"/*.deb "$root/boot"
  mke2fs -q -t ext4 -L guest -d "$root" "$dir/root.ext4" 2G >&2
  rm -rf "$root"
  echo "test-system: image $dir built in $((SECONDS - start)) s ($(du -sm "$dir/root.ext4" | cut -f1) MB used)" >&2
  echo "$dir"
}
