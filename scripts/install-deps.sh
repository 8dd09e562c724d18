#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the screenshots need;
# --package adds the tools that build the Debian package and check its desktop files.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
packages=(cmake g++ make pkg-config qt6-base-dev qt6-serialport-dev libgl-dev
    fonts-dejavu-core fonts-dejavu-extra
    qt6-translations-l10n  # Qt's own dialogs and the command line's parser in Russian
    libxlsxwriter-dev      # Excel workbooks of the plate
    python3-openpyxl       # the tests read the workbooks back with it
    poppler-utils          # pdftotext and pdffonts: the tests read the protocol PDF back
    clang-format-14        # .ci/run checks the formatting
    clang-14 libclang-rt-14-dev) # the database fuzz target (libFuzzer)
for option in "$@"; do
    case "$option" in
    --screenshots) packages+=(xvfb xauth x11-apps imagemagick xdotool locales) ;;
    --package) packages+=(dpkg-dev file desktop-file-utils appstream) ;;
    *)
        echo "usage: $0 [--screenshots] [--package]" >&2
        exit 2
        ;;
    esac
done
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
