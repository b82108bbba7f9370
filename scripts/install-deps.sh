#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Quick when all are present.
set -euo pipefail

packages=(build-essential cmake pkg-config libplist-dev uuid-dev libpng-dev
          libgtest-dev libgmock-dev libbenchmark-dev libcups2-dev python3 binutils locales
          qt6-base-dev qt6-tools-dev libqt6opengl6-dev
          libpappl-dev libjpeg-dev liblcms2-dev libsystemd-dev libpam0g-dev cups-ipp-utils curl cups-daemon cups-client cups cups-filters ghostscript systemd iproute2 util-linux
          libavahi-client-dev avahi-daemon avahi-utils dbus dpkg-dev debhelper lintian man-db)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update
  # No service starts as it is installed: an avahi-daemon started here would announce this
  # machine on its network. The tests run their own, inside network namespaces.
  guard=
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    guard=/usr/sbin/policy-rc.d
    printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$guard" >/dev/null
    "${sudo_cmd[@]}" chmod 755 "$guard"
  fi
  status=0
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}" || status=$?
  [ -z "$guard" ] || "${sudo_cmd[@]}" rm -f "$guard"
  [ $status -eq 0 ] || exit $status
fi

# The number tests need a locale whose decimal separator is a comma.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  "${sudo_cmd[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "warning: could not generate de_DE.UTF-8; locale tests will be skipped" >&2
fi
