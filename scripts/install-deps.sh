#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need, when missing,
# and any further packages named on the command line.
#   scripts/install-deps.sh [PACKAGE...]
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  libwxgtk3.2-dev libgtk-3-dev libcurl4-openssl-dev libcpp-httplib-dev libxml2-dev libpcre2-dev
  libsqlite3-dev nlohmann-json3-dev
  googletest libgtest-dev
  xvfb xauth xdg-utils imagemagick gettext
  at-spi2-core dbus-x11 python3-gi gir1.2-atspi-2.0
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
