#!/bin/bash
# Runs a test program as if on one of two machines on a network link of their own: two network
# namespaces ("vad3-a", where the program runs, and "vad3-b") joined by a veth pair, each with
# its own D-Bus system bus and avahi-daemon, their runtime folders private to the namespace.
# KIV_TEST_BROWSER is the command prefix that runs a command on vad3-b, and
# KIV_TEST_BROWSER_HOSTS that machine's /etc/hosts, which the program may fill in as nss-mdns
# would. Nothing leaves the namespaces; everything started is stopped by its process id and
# the namespaces go with their last process, whatever happens.
# Exits 77 (skipped) where the namespaces or the daemons cannot be had.
set -u

skip() {
  echo "skipped: $*"
  exit 77
}
[ "$(id -u)" -eq 0 ] || skip "network namespaces need root"
for tool in avahi-daemon avahi-resolve dbus-daemon ippfind ipptool unshare nsenter setpriv ip; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps.sh installs it)"
done

work=$(mktemp -d /tmp/vad3-two-machines.XXXXXX)
holders=() daemons=()
stop() {
  for pid in "${daemons[@]}"; do kill -TERM "$pid" 2>/dev/null; done
  for _ in $(seq 50); do
    alive=0
    for pid in "${daemons[@]}"; do kill -0 "$pid" 2>/dev/null && alive=1; done
    [ $alive -eq 0 ] && break
    sleep 0.1
  done
  # Each holder is the first process of its namespace's processes: killing it ends them all.
  for pid in "${daemons[@]}" "${holders[@]}"; do kill -KILL "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap stop EXIT
trap 'exit 1' INT TERM HUP

# child PID: the process id of the one child of PID (a program it forked to run in the
# namespaces), or nothing when it has none within five seconds.
child() {
  local inner=
  for _ in $(seq 50); do
    inner=$(cat "/proc/$1/task/$1/children" 2>/dev/null)
    [ -n "$inner" ] && break
    sleep 0.1
  done
  echo "${inner% }"
}
# holder SIDE: a process in namespaces of its own (network, mounts, host name, processes) that
# lives as long as this script; sets SIDE to its process id.
holder() {
  setpriv --pdeathsig KILL unshare --net --mount --uts --pid --fork --kill-child --propagation private \
    sleep infinity &
  local inner
  inner=$(child $!)
  [ -n "$inner" ] || skip "no namespace could be made"
  holders+=("$inner")
  printf -v "$1" '%s' "$inner"
}
on() {  # on SIDE COMMAND...: runs the command in the side's namespaces
  local pid=${!1}
  shift
  nsenter -t "$pid" -n -m -u -p -- "$@"
}
# daemon SIDE LOG COMMAND...: starts a daemon there and remembers its process id.
daemon() {
  local side=$1 log=$2
  shift 2
  on "$side" "$@" >"$work/$log" 2>&1 &
  local outer=$! inner
  inner=$(child $outer)
  daemons+=("${inner:-$outer}")
}

holder a
holder b
echo "127.0.0.1 localhost" >"$work/hosts-b"
on b mount --bind "$work/hosts-b" /etc/hosts || skip "no private /etc/hosts could be made"
ip link add vad3a netns "$a" type veth peer name vad3b netns "$b" 2>/dev/null || skip "no veth pair could be made"
address=(192.0.2.1 192.0.2.2)  # set aside for documentation: never routed anywhere
i=0
for side in a b; do
  cat >"$work/avahi-$side.conf" <<EOF
[server]
host-name=vad3-$side
use-ipv4=yes
use-ipv6=no
allow-interfaces=vad3$side
enable-dbus=yes
[publish]
publish-workstation=no
publish-hinfo=no
EOF
  on $side sh -ec "hostname vad3-$side
    mount -t tmpfs tmpfs /run && mkdir /run/dbus /run/avahi-daemon
    ip link set lo up && ip addr add ${address[$i]}/24 dev vad3$side && ip link set vad3$side up" ||
    skip "the namespace could not be set up"
  daemon $side dbus-$side.log dbus-daemon --system --nofork --nopidfile --nosyslog
  i=$((i + 1))
done
for side in a b; do
  for _ in $(seq 50); do on $side test -S /run/dbus/system_bus_socket && break; sleep 0.1; done
  daemon $side avahi-$side.log avahi-daemon -f "$work/avahi-$side.conf" --no-chroot --no-drop-root --no-rlimits
done
for side in a b; do
  for _ in $(seq 100); do grep -q "Server startup complete" "$work/avahi-$side.log" && break; sleep 0.1; done
  grep -q "Server startup complete" "$work/avahi-$side.log" ||
    { cat "$work/avahi-$side.log"; skip "avahi-daemon did not start"; }
done

# The program runs on vad3-a in this script's process namespace, from which vad3-b's can be entered.
nsenter -t "$a" -n -m -u -- env KIV_TEST_BROWSER="nsenter -t $b -n -m -u -p --" \
  KIV_TEST_BROWSER_HOSTS="$work/hosts-b" "$@"
