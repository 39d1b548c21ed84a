#!/usr/bin/env bash
# Installs, on Debian 12, every package that the build, the tests and the demo
# need and that the machine does not have yet.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-translations-l10n qt6-httpserver-dev qt6-websockets-dev libmariadb-dev libxlsxwriter-dev libzint-dev libxcb1-dev libxcb-keysyms1-dev libxcb-xfixes0-dev
  mariadb-server mariadb-client
  galera-4 mariadb-backup socat iproute2 openssl
  xvfb xauth xdotool x11-utils imagemagick fonts-wine fonts-dejavu-core openbox poppler-utils zbar-tools unzip
  dbus-daemon at-spi2-core python3-pyatspi gir1.2-atspi-2.0
  chromium chromium-driver python3-selenium
  dpkg-dev lintian
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
