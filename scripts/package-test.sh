#!/bin/bash
# package-test.sh DIR: the Debian package `make package` left in DIR, checked as a user meets
# it. lintian (no errors, no warnings); installed on this machine with apt-get; every tool's
# --version and manual page; the installed unit verified; the installed server started as its
# unit starts it (as its user, but on a free loopback port: systemd is not PID 1 here),
# a printer added in the default hot-folder root, a PWG raster printed with ipptool and the
# job file checked with the installed vad3; then removed (state and job file stay) and purged:
# no file of the package remains, nor its state, while the job file does. Needs root (it installs a package).
set -euo pipefail

dir=$(cd "$1" && pwd)
deb=$(ls "$dir"/varnel_*.deb)  # the server's package, without the dialogs
version=$(dpkg-deb -f "$deb" Version)
work=$(mktemp -d /tmp/vad3-package-test.XXXXXX)
chmod 755 "$work"
server= runtime=
folder=/var/spool/vad3/PackageTest
cleanup() {
  [ -z "$server" ] || { kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true; }
  dpkg -s varnel >/dev/null 2>&1 && apt-get purge -y varnel >/dev/null 2>&1
  rm -rf "$work" "$folder"
  [ -z "$runtime" ] || rm -rf "$runtime"
  rmdir /var/spool/vad3 2>/dev/null || true
}
trap cleanup EXIT
fail() {
  echo "package-test: $*" >&2
  [ ! -f "$work/log" ] || tail -n 20 "$work/log" >&2
  exit 1
}
step() { echo "package-test: $*"; }

step "lintian"
cp "$dir"/varnel*.deb "$work/" && chmod 644 "$work"/*.deb
lint=(lintian --fail-on error,warning "$work"/varnel_*.deb "$work"/varnel-dialogs_*.deb)
if [ "$(id -u)" -eq 0 ]; then  # lintian would rather not run as root
  lint=(setpriv --reuid=65534 --regid=65534 --clear-groups env HOME="$work" "${lint[@]}")
fi
"${lint[@]}" || fail "lintian found errors or warnings"

# A server install pulls in no Qt: the dialogs are a package of their own.
dpkg-deb -f "$deb" Depends | grep -qi qt && fail "the server package depends on Qt"
step "install"
DEBIAN_FRONTEND=noninteractive apt-get install -y "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get install failed"; }
dpkg -L varnel | sort >"$work/files"

step "versions and manual pages"
for tool in kivhost vad3 vad3-printer; do
  [ "$("$tool" --version)" = "$version" ] || fail "$tool --version is not $version"
done
for page in kivhost.1 vad3.1 vad3-printer.8; do
  man -w "${page%.*}" | grep -q "/$page" || fail "man -w ${page%.*} does not find $page"
done
XDG_CONFIG_HOME="$work/config" kivhost info | grep -q "^Driver opened: /usr/lib/.*/varnel/VarnelPrinterDriver.bundle," ||
  fail "kivhost does not find the installed driver bundle"
unit=/lib/systemd/system/vad3-printer.service
systemd-analyze verify "$unit" || fail "systemd-analyze verify $unit"
id vad3-printer >/dev/null || fail "no user vad3-printer"
[ "$(stat -c %U /var/spool/vad3)" = vad3-printer ] || fail "/var/spool/vad3 is not the service's"

step "the installed server"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
# The unit's command line, on loopback and a free port, logging here.
command=$(sed -n 's/^ExecStart=//p' "$unit" | sed -e "s/server-port=[0-9]*/server-port=$port/" \
  -e 's/listen-hostname=\*/listen-hostname=localhost/' -e "s|log-file=-|log-file=$work/log|")
read -r -a argv <<<"$command"
# What systemd would make for it: its state and runtime folders, its environment, a private /tmp.
[ ! -e /run/vad3-printer ] || fail "/run/vad3-printer exists: is the service running here?"
install -d -o vad3-printer -g vad3-printer /var/lib/vad3-printer "$work/tmp"
runtime=/run/vad3-printer
install -d -m 0750 -o vad3-printer -g vad3-printer "$runtime"
touch "$work/log" && chown vad3-printer "$work/log"
mapfile -t environment < <(sed -n 's/^Environment=//p' "$unit")
as_service=(setpriv --reuid=vad3-printer --regid=vad3-printer --init-groups
  env "${environment[@]}" TMPDIR="$work/tmp" RUNTIME_DIRECTORY="$runtime")
"${as_service[@]}" "${argv[@]}" &
server=$!
for _ in $(seq 100); do
  curl -s -o /dev/null "http://localhost:$port/" && break
  sleep 0.1
done
curl -s -o /dev/null "http://localhost:$port/" || fail "the installed server does not answer"
install -d -o vad3-printer -g vad3-printer "$folder"
# Added by root, as the README says, through the service's socket.
vad3-printer add -d PackageTest -m hotfolder -v "hotfolder://$folder" || fail "root cannot add a printer"
vad3-printer printers | grep -qx PackageTest || fail "root does not see the printer"

step "print"
gs -q -dSAFER -sDEVICE=pwgraster -dcupsBitsPerColor=8 -dcupsColorSpace=18 -r300 -g600x600 -o "$work/page.pwg" -c "0.5 setgray 0 0 100 100 rectfill showpage"
ipptool -T 30 -tf "$work/page.pwg" "ipp://localhost:$port/ipp/print/PackageTest" \
  print-job-and-wait.test >"$work/ipptool.log" || { cat "$work/ipptool.log"; fail "printing failed"; }
job=
for _ in $(seq 100); do
  job=$(find "$folder" -name "*.vad3" | head -n 1)
  [ -n "$job" ] && break
  sleep 0.1
done
[ -n "$job" ] || fail "no job file in $folder"
vad3 verify "$job" || fail "the job file does not verify"
kill "$server" && wait "$server" || true
server=

step "remove, then purge"
apt-get remove -y varnel >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get remove failed"; }
[ -f /var/lib/vad3-printer/vad3-printer.state ] || fail "remove took the state"
[ -f "$job" ] || fail "remove took the job file"
apt-get purge -y varnel >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get purge failed"; }
while read -r path; do
  [ -d "$path" ] || [ ! -e "$path" ] || fail "$path is left after purge"
done <"$work/files"
[ ! -e /var/lib/vad3-printer ] || fail "the state in /var/lib/vad3-printer is left after purge"
[ -f "$job" ] || fail "purge removed the job file"
step "passed"
