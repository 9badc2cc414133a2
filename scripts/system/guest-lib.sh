# Sourced by the guests' scripts (scripts/system/*-guest.sh), which scripts/test-system
# copies with it into their shared folder: the notes they leave for the host in
# $out/times.txt, waiting, and lumo installed as a user installs it.
uptime_now() { cut -d' ' -f1 /proc/uptime; }
note() { echo "$1=$2" >>"$out/times.txt"; }
fail() { echo "guest: $*"; exit 1; }
wait_for() {  # wait_for SECONDS COMMAND...: until the command succeeds, SECONDS at most
  local until
  until=$(awk -v n="$(uptime_now)" -v s="$1" 'BEGIN { print n + s }')
  shift
  until "$@"; do
    awk -v n="$(uptime_now)" -v u="$until" 'BEGIN { exit !(n < u) }' || return 1
    sleep 0.2
  done
}
# lumo with apt-get from the shared folder's repository, the guest's only source (it has
# no network), its install's start and end noted.
install_lumo() {
  note install_start "$(uptime_now)"
  rm -f /etc/apt/sources.list /etc/apt/sources.list.d/*
  echo "deb [trusted=yes] file:/mnt/host/dist ./" >/etc/apt/sources.list.d/lumo.list
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq lumo >/dev/null
  note install_end "$(uptime_now)"
}
