#!/usr/bin/env bash
# Builds the Windows installer from the staged program folder (the folder the zip
# holds) with wixl (Debian's wixl, beside msitools), and checks what it built: the MSI holds
# exactly the staged files, byte for byte, and its Russian names survived.
#
#   usage: packaging/windows/make-msi.sh STAGE PACKAGE_VERSION OUTPUT.msi
#
# PACKAGE_VERSION is the program's version (YEAR.MONTH.DAY, as --version prints
# it). Windows Installer compares only versions whose fields are at most
# 255.255.65535, so the MSI's version counts the year from 2000: 2008.6.6 is
# 8.6.6 there ("Programs and Features" shows it; its comment names 2008.6.6).
# Needs wixl (wixl), msibuild, msiinfo and msiextract (msitools), rsvg-convert
# (librsvg2-bin) and icotool (icoutils).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
if [ $# -ne 3 ]; then
    echo "usage: $0 STAGE PACKAGE_VERSION OUTPUT.msi" >&2
    exit 2
fi
missing=()
for tool in wixl msibuild msiinfo msiextract rsvg-convert icotool; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "make-msi: missing ${missing[*]}: apt-get install wixl msitools librsvg2-bin icoutils" >&2
    exit 1
fi
stage="$(cd "$1" && pwd)"
package_version=$2
output=$3
product_name="КАЛЕНТ-сервис"

fail() {
    echo "make-msi: $*" >&2
    exit 1
}

msi_version() {
    local year month day
    IFS=. read -r year month day <<<"$1"
    [[ "$1" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "version '$1' is not YEAR.MONTH.DAY"
    year=$((10#$year)) month=$((10#$month)) day=$((10#$day))
    if [ "$year" -lt 2000 ] || [ "$year" -gt 2255 ] || [ "$month" -gt 255 ] || [ "$day" -gt 65534 ]; then
        fail "version '$1' does not fit Windows Installer's 255.255.65535 (year 2000-2255)"
    fi
    echo "$((year - 2000)).$month.$day"
}
# The version just above: the upgrade's limit (packaging/windows/kalent-service.wxs).
next_version() { echo "${1%.*}.$((${1##*.} + 1))"; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The icon of the shortcut and of "Programs and Features": the drawing rendered
# at each size Windows picks from; the two large ones as PNG inside the .ico
# (Windows reads them so since Vista), the small ones as bitmaps.
for size in 16 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" "$repo/resources/kalent-service.svg" -o "$work/icon-$size.png"
done
icotool -c -o "$work/kalent-service.ico" "$work"/icon-{16,24,32,48,64}.png \
    -r "$work/icon-128.png" -r "$work/icon-256.png"

# wixl finds sources only relative to the folder it runs in.
ln -s "$stage" "$work/stage"
version=$(msi_version "$package_version")
# The readings store's Qt SQL and SQLite driver, when the program was built with them.
with_sql=no
[ -f "$stage/Qt6Sql.dll" ] && with_sql=yes
# libmsi stores the tables' strings in the code page it guesses from
# WINDOWS_LANGUAGE (otherwise from the locale, which drops every Cyrillic
# letter); the imported _ForceCodepage then marks the database as 1251, so
# Windows reads the names right whatever the PC's own language.
(cd "$work" && WINDOWS_LANGUAGE=ru wixl -a x64 -D MsiVersion="$version" \
    -D MsiVersionNext="$(next_version "$version")" \
    -D PackageVersion="$package_version" -D StageDir=stage -D IconFile=kalent-service.ico \
    -D WithSql="$with_sql" \
    -o "$work/package.msi" "$here/kalent-service.wxs")
printf '\r\n\r\n1251\t_ForceCodepage\r\n' >"$work/_ForceCodepage.idt"
(cd "$work" && WINDOWS_LANGUAGE=ru msibuild package.msi -i _ForceCodepage.idt)

# What was built: the Russian names, the version, and the files.
table() { msiinfo export "$work/package.msi" "$1" | tr -d '\r'; }
property() { table Property | awk -F'\t' -v p="$1" '$1 == p { print $2 }'; }
[ "$(property ProductName)" = "$product_name" ] || fail "the product's name was lost: '$(property ProductName)'"
[ "$(property ProductVersion)" = "$version" ] || fail "ProductVersion is '$(property ProductVersion)'"
table Directory | grep -qx "INSTALLDIR	ProgramFiles64Folder	$product_name" ||
    fail "the installation folder is not Program Files\\$product_name"
msiextract -C "$work/extracted" "$work/package.msi" >/dev/null
diff -r "$stage" "$work/extracted/$product_name" >&2 ||
    fail "the MSI's files differ from $stage (packaging/windows/kalent-service.wxs lists every file)"
mv "$work/package.msi" "$output"
echo "$output"
