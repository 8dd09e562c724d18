#!/usr/bin/env bash
# The Windows installer under Wine, as a lab's IT uses it: silent install, the
# installed program answering as the Linux build does, the Start-menu shortcut
# and the "Programs and Features" entry, upgrades that leave one copy, a refused
# downgrade, and a silent uninstall that leaves nothing of the program behind.
#
#   usage: tests/windows/msi-under-wine.sh MSI STAGE PACKAGE_VERSION LINUX_PROGRAM
#
# STAGE is the folder the MSI was made from (packaging/windows/make-msi.sh makes
# the older and the rebuilt MSIs from it); LINUX_PROGRAM the same source built
# for Linux, whose output is the reference. WINEPREFIX names a prepared Wine
# prefix; it is copied, so the installs never touch it.
set -euo pipefail
repo="$(cd "$(dirname "$0")/../.." && pwd)"
if [ $# -ne 4 ]; then
    echo "usage: $0 MSI STAGE PACKAGE_VERSION LINUX_PROGRAM" >&2
    exit 2
fi
msi="$(realpath "$1")"
stage="$(realpath "$2")"
package_version=$3
linux_program="$(realpath "$4")"
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
product="КАЛЕНТ-сервис"
program_windows="C:\\Program Files\\$product\\kalent-service.exe"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
step() { echo "msi-under-wine: $*"; }

source_prefix="${WINEPREFIX:?WINEPREFIX names the prepared Wine prefix}"
scratch=$(mktemp -d)
cleanup() {
    [ "$WINEPREFIX" = "$scratch/prefix" ] && "$wineserver" -k 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT
"$wineserver" --wait 2>/dev/null || true
cp -a "$source_prefix" "$scratch/prefix"
# winemenubuilder would copy the Start-menu shortcut onto this machine's desktop menus.
export WINEPREFIX="$scratch/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
drive_c="$WINEPREFIX/drive_c"
program_dir="$drive_c/Program Files/$product"
local_app_data="$drive_c/users/$(id -un)/AppData/Local"

windows_path() { printf 'Z:%s' "${1//\//\\}"; }
msiexec() { "$wine" msiexec "$@" /qn; }

# Each "Programs and Features" entry of the program: product code and version.
installed_entries() {
    rm -f "$scratch/uninstall.reg"
    "$wine" reg export 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' \
        "$(windows_path "$scratch/uninstall.reg")" /y >/dev/null || return 0
    iconv -f UTF-16 -t UTF-8 "$scratch/uninstall.reg" | tr -d '\r' | awk -v product="$product" '
        function emit() { if (name == product) print key, version }
        /^\[/ { emit(); key = $0; sub(/^.*\\/, "", key); sub(/\]$/, "", key); name = ""; version = "" }
        /^"DisplayName"="/ { name = substr($0, 16, length($0) - 16) }
        /^"DisplayVersion"="/ { version = substr($0, 19, length($0) - 19) }
        END { emit() }'
}

shortcuts() { find "$drive_c" -name "$product.lnk"; }

# One copy of the given MSI version: one entry, one folder with the staged
# files byte for byte, one shortcut.
expect_one_copy() {
    local version=$1 entries
    entries=$(installed_entries)
    [ "$(printf '%s\n' "$entries" | grep -c .)" -eq 1 ] ||
        fail "expected one entry in Programs and Features, found: ${entries:-none}"
    [ "${entries#* }" = "$version" ] || fail "the installed version is ${entries#* }, expected $version"
    [ "$(find "$drive_c/Program Files" -maxdepth 1 -name "$product*" | wc -l)" -eq 1 ] ||
        fail "more than one program folder in Program Files"
    diff -r "$stage" "$program_dir" >&2 || fail "the installed files differ from the staged ones"
    [ "$(shortcuts | wc -l)" -eq 1 ] || fail "expected one shortcut, found: $(shortcuts)"
}

msi_version_of() {
    local year month day
    IFS=. read -r year month day <<<"$1"
    echo "$((year - 2000)).$month.$day"
}
current=$(msi_version_of "$package_version")
IFS=. read -r year month day <<<"$package_version"
older_version="$((year - 1)).$month.$day"
older=$(msi_version_of "$older_version")

step "building the comparison MSIs: $older_version (older) and a rebuild of $package_version"
"$repo/packaging/windows/make-msi.sh" "$stage" "$older_version" "$scratch/older.msi" >/dev/null
"$repo/packaging/windows/make-msi.sh" "$stage" "$package_version" "$scratch/rebuilt.msi" >/dev/null

step "install $older_version, then $package_version over it"
msiexec /i "$(windows_path "$scratch/older.msi")" || fail "msiexec /i older.msi exited $?"
expect_one_copy "$older"
msiexec /i "$(windows_path "$msi")" || fail "msiexec /i $(basename "$msi") exited $?"
expect_one_copy "$current"
first_code=$(installed_entries | cut -d' ' -f1)

step "the same MSI again, then a rebuild of the same version"
msiexec /i "$(windows_path "$msi")" || fail "a second msiexec /i of the same MSI exited $?"
expect_one_copy "$current"
[ "$(installed_entries | cut -d' ' -f1)" = "$first_code" ] || fail "the same MSI changed the product code"
msiexec /i "$(windows_path "$scratch/rebuilt.msi")" || fail "msiexec /i of the rebuilt MSI exited $?"
expect_one_copy "$current"
code=$(installed_entries | cut -d' ' -f1)
[ "$code" != "$first_code" ] || fail "the rebuilt MSI did not replace the installed one"

step "an older MSI over the newer is refused and changes nothing"
# Refused by the launch condition: ERROR_INSTALL_FAILURE, 1603, which a Unix exit
# status shows modulo 256.
status=0
msiexec /i "$(windows_path "$scratch/older.msi")" || status=$?
[ "$status" -eq $((1603 % 256)) ] || fail "the older MSI over the newer one exited $status, not 1603"
expect_one_copy "$current"

step "Programs and Features: publisher and icon; the Start-menu shortcut"
"$wine" reg export "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$code" \
    "$(windows_path "$scratch/entry.reg")" /y >/dev/null
entry=$(iconv -f UTF-16 -t UTF-8 "$scratch/entry.reg" | tr -d '\r')
grep -qx '"Publisher"="The KALENT-service developers"' <<<"$entry" || fail "publisher: $entry"
grep -qx "\"Comments\"=\"Версия пакета $package_version\"" <<<"$entry" || fail "comment: $entry"
# Windows Installer keeps the product's icon with its own registration (ARPPRODUCTICON).
packed=$(awk -F- '{
    r = ""; for (i = 1; i <= 3; i++) { s = $i; gsub(/[{}]/, "", s); t = ""; for (j = length(s); j > 0; j--) t = t substr(s, j, 1); r = r t }
    s = $4 $5; gsub(/[{}]/, "", s); for (j = 1; j < length(s); j += 2) r = r substr(s, j + 1, 1) substr(s, j, 1)
    print r }' <<<"$code")
"$wine" reg export "HKLM\\Software\\Classes\\Installer\\Products\\$packed" \
    "$(windows_path "$scratch/product.reg")" /y >/dev/null
icon=$(iconv -f UTF-16 -t UTF-8 "$scratch/product.reg" | tr -d '\r' |
    sed -n 's/^"ProductIcon"="\(.*\)"$/\1/p' | sed 's/\\\\/\\/g')
if [ -z "$icon" ] || [ ! -s "$("$wine" winepath -u "$icon")" ]; then
    fail "no product icon: '$icon'"
fi
x86_64-w64-mingw32-gcc -municode -O2 -o "$scratch/shortcut-target.exe" \
    "$repo/tests/windows/shortcut-target.c" -lole32 -luuid
link=$(shortcuts)
target=$("$wine" "$scratch/shortcut-target.exe" "$(windows_path "$link")")
[ "$(sed -n 1p <<<"$target")" = "$program_windows" ] || fail "the shortcut opens $(sed -n 1p <<<"$target")"
shortcut_icon=$(sed -n 3p <<<"$target")
[ "$shortcut_icon" = "$icon,0" ] || fail "the shortcut's icon is $shortcut_icon, not $icon"

step "the installed program answers as the Linux build does"
linux_data="$scratch/linux-data"
mkdir -p "$linux_data"
# Arguments as Windows takes them; a Z: path is the same file for Linux.
same_output() {
    local expected actual argument linux_arguments=()
    for argument in "$@"; do
        if [[ "$argument" == Z:\\* ]]; then
            argument=${argument#Z:}
            argument=${argument//\\//}
        fi
        linux_arguments+=("$argument")
    done
    expected=$(QT_QPA_PLATFORM=offscreen "$linux_program" "${linux_arguments[@]}" --data-dir "$linux_data" 2>/dev/null; echo "exit $?")
    actual=$("$wine" "$program_windows" "$@" 2>/dev/null; echo "exit $?")
    if [ "$actual" != "$expected" ]; then
        diff <(echo "$expected") <(echo "$actual") >&2 || true
        fail "kalent-service $* printed otherwise than on Linux"
    fi
}
same_output --version
same_output db-list "$(windows_path "$repo/tests/data/database/mixed.bdt")"
same_output read-od --port sim
# An installed copy keeps its files in the user's folder: Program Files stays as installed.
[ -s "$local_app_data/kalent-service/SpisokTSinFile.txt" ] ||
    fail "db-list wrote no list into %LOCALAPPDATA%\\kalent-service"
diff -r "$stage" "$program_dir" >&2 || fail "running the program changed its folder"

step "silent uninstall through the product code"
msiexec /x "$code" || fail "msiexec /x $code exited $?"
[ -z "$(installed_entries)" ] || fail "still in Programs and Features: $(installed_entries)"
[ ! -e "$program_dir" ] || fail "left behind: $(find "$program_dir")"
[ -z "$(shortcuts)" ] || fail "the shortcut is left: $(shortcuts)"
step "all checks passed"
