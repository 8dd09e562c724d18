#!/usr/bin/env bash
# The Qt cache for Windows travels as a tarball: scripts/windows-build.sh
# --pack-cache packs a finished cache, and a run that finds the tarball beside the
# checkout (../shared/third-party) unpacks it instead of building, after checking
# its SHA-256 and the qt6-base it was built from. A small made-up cache stands in
# for the real one: no Wine, no MinGW, no Qt build.
# usage: windows-cache-tarball.sh REPO
set -euo pipefail
repo=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
host_qt=$(dpkg-query -W -f='${source:Version}' qt6-base-dev-tools)
tarball_name=qt-windows-6.4.2-prefix.tar.xz

# A finished cache as the build leaves it. The "DLL" names the prefix inside
# binary data, which must travel untouched; the CMake and pkg-config files name
# it as text, which must follow the cache to its new place.
make_cache() {
    local dir=$1 qt_version=$2
    mkdir -p "$dir/prefix/bin" "$dir/prefix/lib/cmake/Qt6" "$dir/prefix/lib/pkgconfig" \
        "$dir/src/qtbase/debian" "$dir/src/libxlsxwriter/debian" "$dir/stamps"
    printf 'MZ\0\1\2%s\0\377' "$dir/prefix" >"$dir/prefix/bin/Qt6Core.dll"
    printf 'set(_qt_prefix "%s")\n' "$dir/prefix" >"$dir/prefix/lib/cmake/Qt6/Qt6Targets.cmake"
    # shellcheck disable=SC2016 # ${prefix} is pkg-config's
    printf 'prefix=%s\nlibdir=${prefix}/lib\n' "$dir/prefix" >"$dir/prefix/lib/pkgconfig/xlsxwriter.pc"
    echo "qt6-base ($qt_version) unstable; urgency=medium" >"$dir/src/qtbase/debian/changelog"
    echo "libxlsxwriter (1.1.5-1) unstable; urgency=medium" >"$dir/src/libxlsxwriter/debian/changelog"
    touch "$dir/stamps/qtbase"
    echo "built for a test" >"$dir/READY"
}

# A checkout with the shared folder beside it, as on a build machine.
mkdir -p "$work/tree/checkout/scripts" "$work/tree/shared/third-party"
cp "$repo/scripts/windows-build.sh" "$work/tree/checkout/scripts/"
shared="$work/tree/shared/third-party"

# --- Pack, then unpack where the tarball is found beside the checkout ---
make_cache "$work/packed" "$host_qt"
KALENT_WINDOWS_CACHE="$work/packed" "$repo/scripts/windows-build.sh" \
    --pack-cache "$shared/$tarball_name" >/dev/null
(cd "$shared" && sha256sum --quiet -c "$tarball_name.sha256") || fail "the .sha256 does not match the tarball"
listing=$(tar -tf "$shared/$tarball_name" | sort)
grep -qx 'BUILT-FROM' <<<"$listing" || fail "no BUILT-FROM in the tarball: $listing"
grep -qx 'prefix/bin/Qt6Core.dll' <<<"$listing" || fail "no prefix in the tarball: $listing"
if grep -q '^src/\|^stamps/\|^READY' <<<"$listing"; then
    fail "the tarball holds more than the prefix: $listing"
fi

KALENT_WINDOWS_CACHE="$work/unpacked" "$work/tree/checkout/scripts/windows-build.sh" --cache-only 2>/dev/null ||
    fail "the run with the tarball beside the checkout did not unpack it"
grep -q "$tarball_name" "$work/unpacked/READY" || fail "READY does not say where the cache came from"
cmp "$work/packed/prefix/bin/Qt6Core.dll" "$work/unpacked/prefix/bin/Qt6Core.dll" ||
    fail "a binary file changed on the way"
for text in lib/cmake/Qt6/Qt6Targets.cmake lib/pkgconfig/xlsxwriter.pc; do
    grep -qF "$work/unpacked/prefix" "$work/unpacked/prefix/$text" ||
        fail "$text does not name the new prefix: $(cat "$work/unpacked/prefix/$text")"
    if grep -qF "$work/packed/prefix" "$work/unpacked/prefix/$text"; then
        fail "$text still names the packing machine's prefix"
    fi
done
expected_record=$'qt6-base '"$host_qt"$'\nlibxlsxwriter 1.1.5-1\nprefix '"$work/unpacked/prefix"
[ "$(cat "$work/unpacked/BUILT-FROM")" = "$expected_record" ] ||
    fail "BUILT-FROM reads: $(cat "$work/unpacked/BUILT-FROM")"

# An unpacked cache (no sources left) packs again from what it recorded.
KALENT_WINDOWS_CACHE="$work/unpacked" "$repo/scripts/windows-build.sh" \
    --pack-cache "$work/again/$tarball_name" >/dev/null || fail "an unpacked cache does not pack again"
tar -xOf "$work/again/$tarball_name" BUILT-FROM | grep -qx "qt6-base $host_qt" ||
    fail "the second tarball lost the qt6-base version"

# A prefix where no text file names its old place moves as it is.
make_cache "$work/binary-only" "$host_qt"
rm -r "$work/binary-only/prefix/lib"
KALENT_WINDOWS_CACHE="$work/binary-only" "$repo/scripts/windows-build.sh" \
    --pack-cache "$work/binary-only-packed/$tarball_name" >/dev/null
KALENT_WINDOWS_CACHE="$work/binary-only-unpacked" \
    KALENT_WINDOWS_CACHE_TARBALL="$work/binary-only-packed/$tarball_name" \
    "$repo/scripts/windows-build.sh" --cache-only 2>/dev/null || fail "a prefix without text files did not unpack"
[ -f "$work/binary-only-unpacked/READY" ] || fail "no READY after unpacking a prefix without text files"

# --- Faults: each stops the run before the cache is touched, and never falls
# back to an hour of building ---
make_cache "$work/other-qt" "6.4.2+dfsg-0other"
KALENT_WINDOWS_CACHE="$work/other-qt" "$repo/scripts/windows-build.sh" \
    --pack-cache "$work/faults/other-qt/$tarball_name" >/dev/null
mkdir -p "$work/faults/damaged" "$work/faults/no-sum" "$work/faults/not-a-cache/prefix"
cp "$shared/$tarball_name" "$shared/$tarball_name.sha256" "$work/faults/damaged/"
size=$(stat -c %s "$work/faults/damaged/$tarball_name")
printf '\125' | dd of="$work/faults/damaged/$tarball_name" bs=1 seek=$((size / 2)) conv=notrunc status=none
cmp -s "$shared/$tarball_name" "$work/faults/damaged/$tarball_name" && fail "the damage did not take"
cp "$shared/$tarball_name" "$work/faults/no-sum/"
echo "not a Qt" >"$work/faults/not-a-cache/prefix/file"
tar -C "$work/faults/not-a-cache" -cJf "$work/faults/not-a-cache/$tarball_name" prefix
(cd "$work/faults/not-a-cache" && sha256sum "$tarball_name" >"$tarball_name.sha256")

while IFS='|' read -r case message; do
    cache="$work/cache-$case"
    # What an interrupted build left stays as it was.
    mkdir -p "$cache/prefix"
    echo "half built" >"$cache/prefix/partial"
    if out=$(KALENT_WINDOWS_CACHE="$cache" KALENT_WINDOWS_CACHE_TARBALL="$work/faults/$case/$tarball_name" \
        "$repo/scripts/windows-build.sh" --cache-only 2>&1); then
        fail "$case: the cache was accepted"
    fi
    grep -qF -- "$message" <<<"$out" || fail "$case: expected '$message', got: $out"
    [ ! -e "$cache/READY" ] || fail "$case: READY was written"
    [ "$(ls -A "$cache/prefix")" = partial ] || fail "$case: the old prefix was touched"
    [ ! -e "$cache/src" ] || fail "$case: the run went on to build"
done <<'CASES'
damaged|is damaged: its SHA-256 is
no-sum|has no qt-windows-6.4.2-prefix.tar.xz.sha256 beside it
other-qt|was built from qt6-base 6.4.2+dfsg-0other
not-a-cache|holds no packed cache
CASES

# Packing refuses an unfinished cache and a name it cannot compress by.
make_cache "$work/unfinished" "$host_qt"
rm "$work/unfinished/READY"
for attempt in "unfinished|$work/out/$tarball_name|READY is missing" \
    "packed|$work/out/qt.tar.bz2|must end in .tar.xz, .tar.zst or .tar.gz"; do
    IFS='|' read -r cache file message <<<"$attempt"
    if out=$(KALENT_WINDOWS_CACHE="$work/$cache" "$repo/scripts/windows-build.sh" --pack-cache "$file" 2>&1); then
        fail "--pack-cache $file of $cache succeeded"
    fi
    grep -qF -- "$message" <<<"$out" || fail "--pack-cache $file: expected '$message', got: $out"
    [ ! -e "$file" ] || fail "--pack-cache $file left a tarball"
done
echo "the packed cache unpacks where it is found, checked; damaged or foreign ones are refused"
