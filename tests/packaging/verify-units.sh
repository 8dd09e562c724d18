#!/usr/bin/env bash
# The service units start the program where the package installs it, pass
# `systemd-analyze verify` for a plain device and a by-id link, and the template
# keeps its security exposure at most MAX_EXPOSURE.
# usage: verify-units.sh PROGRAM PACKAGED_PATH MAX_EXPOSURE TEMPLATE_UNIT EXAMPLE_UNIT
set -euo pipefail
program=$1 packaged=$2 max_exposure=$3 template=$4 example=$5

for unit in "$template" "$example"; do
    exec_start=$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$unit")
    if [ "$exec_start" != "$packaged" ]; then
        echo "FAIL: $unit starts $exec_start; the package installs $packaged" >&2
        exit 1
    fi
done

if ! command -v systemd-analyze >/dev/null; then
    echo "SKIP: no systemd-analyze here; the ExecStart paths were checked" >&2
    exit 77
fi
# A root of our own: the program at its packaged path, the system's targets and
# the units under test, so nothing is installed on this machine.
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root$(dirname "$packaged")" "$root/etc/systemd/system" "$root/usr/lib/systemd/system"
cp "$program" "$root$packaged"
for f in /usr/lib/systemd/system/*.target /usr/lib/systemd/system/*.slice \
    /usr/lib/systemd/system/*.socket /lib/systemd/system/*.target; do
    [ -e "$f" ] && cp -n "$f" "$root/usr/lib/systemd/system/"
done
cp "$template" "$example" "$root/etc/systemd/system/"
by_id='serial-by\x2did-usb\x2dFTDI_FT232R_USB_UART_A1B2C3\x2dif00\x2dport0'
for name in kalent-watch@ttyUSB0.service "kalent-watch@$by_id.service" kalent-watch.service; do
    if ! out=$(systemd-analyze verify --man=no --root="$root" "$name" 2>&1) || [ -n "$out" ]; then
        echo "FAIL: systemd-analyze verify $name:" >&2
        echo "$out" >&2
        exit 1
    fi
    echo "verified: $name"
done
# Without the program at its path the same check must fail: the check has teeth.
rm "$root$packaged"
if systemd-analyze verify --man=no --root="$root" kalent-watch@ttyUSB0.service >/dev/null 2>&1; then
    echo "FAIL: verify passed with no program at $packaged" >&2
    exit 1
fi

figure=$(systemd-analyze security --offline=yes --root="$root" kalent-watch@ttyUSB0.service 2>&1 |
    sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
echo "systemd-analyze security: exposure $figure"
if [ -z "$figure" ] || ! awk -v f="$figure" -v m="$max_exposure" 'BEGIN { exit !(f <= m) }'; then
    echo "FAIL: exposure '$figure' above $max_exposure" >&2
    exit 1
fi
