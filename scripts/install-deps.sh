#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the screenshots need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
packages=(cmake g++ make qt6-base-dev qt6-serialport-dev libgl-dev fonts-dejavu-core fonts-dejavu-extra
    qt6-translations-l10n)
if [ "${1:-}" = "--screenshots" ]; then
    packages+=(xvfb xauth x11-apps imagemagick xdotool locales)
fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
