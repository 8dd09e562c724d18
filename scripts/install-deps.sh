#!/usr/bin/env bash
# Installs the Debian packages this project needs, by purpose. Without options:
# what building the program and running it need (scripts/run.sh). The options
# add what their purpose needs on top:
#   --test         the tools the tests use to check the program's output, the
#                  formatting check and the fuzz target (scripts/test.sh, CI)
#   --package      the tools that build the Debian package and review it
#   --screenshots  a virtual X server and the tools that take the pictures
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
packages=(cmake g++ make pkg-config qt6-base-dev qt6-serialport-dev libgl-dev
    fonts-dejavu-core fonts-dejavu-extra
    qt6-translations-l10n # Qt's own dialogs and the command line's parser in Russian
    libxlsxwriter-dev     # Excel workbooks of the plate
    libqt6sql6-sqlite     # the readings store in the data folder (Qt SQL's SQLite driver)
    libqt6sql6-psql)      # the readings store on a lab's PostgreSQL server
want_ru_locale=0
for option in "$@"; do
    case "$option" in
    --test)
        want_ru_locale=1
        packages+=(python3-openpyxl # the tests read the workbooks back with it
            poppler-utils           # pdftotext and pdffonts: the tests read the protocol PDF back
            clang-format-14         # .ci/run checks the formatting
            clang-14 libclang-rt-14-dev # the database fuzz target (libFuzzer)
            librsvg2-bin            # the icon's PNGs are checked against a render of its SVG
            desktop-file-utils appstream # the menu entry and the AppStream file are validated
            locales                 # ru_RU.UTF-8: the outputs are tested in the lab's own locale
            systemd                 # systemd-analyze verifies the service units
            postgresql              # the store's tests start a throwaway server of their own
            sqlite3)                # the store's benchmark sets the sqlite3 tool beside the program
        ;;
    --package) packages+=(dpkg-dev file desktop-file-utils appstream lintian) ;;
    --screenshots) packages+=(xvfb xauth x11-apps imagemagick xdotool locales) ;;
    *)
        echo "usage: $0 [--test] [--package] [--screenshots]" >&2
        exit 2
        ;;
    esac
done
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
    $SUDO apt-get update -qq
    $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
# The Russian locale the lab runs: the tests write every output under it (a C
# library that formats numbers with a decimal comma must not reach a file).
# Enabled in /etc/locale.gen and generated once; a later run finds it there.
if [ "$want_ru_locale" -eq 1 ] && ! locale -a | grep -qix 'ru_RU.utf8'; then
    $SUDO sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -qx 'ru_RU.UTF-8 UTF-8' /etc/locale.gen ||
        echo 'ru_RU.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
    $SUDO locale-gen
fi
