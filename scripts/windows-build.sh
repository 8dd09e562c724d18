#!/usr/bin/env bash
# Builds the program for Windows x86-64 on Debian 12 and packs it into a zip a lab
# can unpack and run.
#
# The first run builds Qt 6.4.2 for Windows from Debian's own source package, Qt
# Serial Port 6.4.2 and libxlsxwriter into a cache folder outside the repository
# (KALENT_WINDOWS_CACHE, by default ../cache/qt-windows beside the checkout); later
# runs reuse it. Each stage leaves a stamp, so an interrupted run resumes where it
# stopped; the file READY is written last and tells .ci/run the cache is complete.
# Where a packed cache lies beside the checkout
# (../shared/third-party/qt-windows-6.4.2-prefix.tar.* with its .sha256), it is
# checked and unpacked instead of building, in a minute instead of over an hour.
#
#   scripts/windows-build.sh               the cache when missing, the program, the
#                                          zip and the MSI
#   scripts/windows-build.sh --cache-only  only the cache
#   scripts/windows-build.sh --test        also run the tests and the installer's
#                                          checks under Wine
#   scripts/windows-build.sh --screenshot  also photograph the window under Wine
#                                          (xvfb-run) into docs/windows-window.png
#   scripts/windows-build.sh --sql         also build SQLite from Debian's source and
#                                          Qt SQL with its SQLite driver into the
#                                          cache (the readings store; not run by CI:
#                                          it builds qtbase again), recorded in
#                                          BUILT-FROM; pack the cache afterwards to
#                                          make the next packed Qt
#   scripts/windows-build.sh --pack-cache FILE
#                                          only pack the finished cache's prefix into
#                                          FILE (.tar.xz, .tar.zst or .tar.gz) and
#                                          FILE.sha256
#
# Output: build-windows/kalent-service-windows-x64.zip (the executable, Qt's DLLs
# and plugins, MinGW's runtime DLLs, Qt's Russian texts, README.md) and
# build-windows/kalent-service-windows-x64.msi, the installer of the same files
# (packaging/windows/).
#
# Environment: KALENT_WINDOWS_CACHE (the cache folder), KALENT_WINDOWS_BUILD (the
# program's build folder, by default build-windows), JOBS (parallel jobs, default
# 2), KALENT_WINDOWS_CACHE_TARBALL (a packed cache to unpack, instead of the one in
# ../shared/third-party), KALENT_LINUX_PROGRAM (the Linux build whose output the
# installed Windows program must print, by default build/src/app/kalent-service).
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
cache="${KALENT_WINDOWS_CACHE:-$(dirname "$repo")/cache/qt-windows}"
build="${KALENT_WINDOWS_BUILD:-$repo/build-windows}"
jobs="${JOBS:-2}"
prefix="$cache/prefix"        # Qt for Windows, Qt Serial Port and libxlsxwriter
toolchain="$repo/cmake/mingw-w64-x86_64.cmake"
serialport_tarball="${KALENT_QTSERIALPORT_TARBALL:-$(dirname "$repo")/shared/third-party/qtserialport-everywhere-src-6.4.2.tar.xz}"
host_cmake_dir=/usr/lib/x86_64-linux-gnu/cmake
export KALENT_WINDOWS_PREFIX="$prefix"
mingw_gcc_dir=/usr/lib/gcc/x86_64-w64-mingw32/12-posix
mingw_lib_dir=/usr/x86_64-w64-mingw32/lib
runtime_dlls=("$mingw_gcc_dir/libstdc++-6.dll" "$mingw_gcc_dir/libgcc_s_seh-1.dll"
    "$mingw_lib_dir/libwinpthread-1.dll")
wine=/usr/lib/wine/wine64 # Debian's wine64 does not put its launcher on PATH

cache_only=0
with_sql=0
run_tests=0
screenshot=0
inside_xvfb=0
pack_file=""
usage() {
    echo "usage: $0 [--cache-only] [--sql] [--test] [--screenshot] | --pack-cache FILE" >&2
    exit 2
}
while [ $# -gt 0 ]; do
    case "$1" in
    --cache-only) cache_only=1 ;;
    --sql) with_sql=1 ;;
    --test) run_tests=1 ;;
    --screenshot) screenshot=1 ;;
    --screenshot-inside-xvfb) inside_xvfb=1 ;; # the second half of --screenshot, below
    --pack-cache)
        [ $# -ge 2 ] || usage
        pack_file=$2
        shift
        ;;
    *) usage ;;
    esac
    shift
done

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

install_packages() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    $SUDO apt-get update -qq
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
}

# apt-get source needs a deb-src entry; it is made from the archive the machine
# already uses, so the source matches the host Qt (qt6-base-dev-tools) exactly.
enable_deb_src() {
    if apt-get source --print-uris qt6-base >/dev/null 2>&1; then
        return 0
    fi
    local list=/etc/apt/sources.list.d/kalent-deb-src
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
            $SUDO tee "$list.sources" >/dev/null
    else
        grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | $SUDO tee "$list.list" >/dev/null
    fi
    $SUDO apt-get update -qq
}

fail() {
    echo "windows-build: $*" >&2
    exit 1
}

stamp() { touch "$cache/stamps/$1"; }
done_stage() { [ -f "$cache/stamps/$1" ]; }

# Debian's source package, unpacked (with Debian's patches) into $cache/src/<name>.
fetch_debian_source() {
    local package=$1 dir=$2
    [ -d "$cache/src/$dir" ] && return 0
    enable_deb_src
    local scratch
    scratch=$(mktemp -d "$cache/src/fetch.XXXXXX")
    (cd "$scratch" && apt-get source -qq "$package")
    local unpacked
    unpacked=$(find "$scratch" -mindepth 1 -maxdepth 1 -type d | head -n1)
    mv "$unpacked" "$cache/src/$dir"
    rm -rf "$scratch"
}

# Configures Debian's qtbase for Windows in $cache/build/<folder>, with the
# extra options given (the SQL module's, or none).
# Only what the program uses: Core, Gui, Widgets, PrintSupport, Test and the
# Windows platform plugin. Debian's source drops the tablet and IAccessible2
# files, so those features are off; the 6.4.2 Windows platform plugin needs
# OpenGL to compile. ICU is not there for MinGW: Qt's own Windows code paths
# do the text work.
configure_qtbase() {
    local folder=$1
    shift
    cmake -S "$cache/src/qtbase" -B "$cache/build/$folder" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$host_cmake_dir" \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
        -DFEATURE_tabletevent=OFF -DFEATURE_accessibility=OFF \
        -DFEATURE_opengl=ON -DINPUT_opengl=desktop \
        -DFEATURE_network=OFF -DFEATURE_dbus=OFF \
        -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_icu=OFF \
        -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF \
        -DFEATURE_system_jpeg=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF \
        -DFEATURE_system_doubleconversion=OFF "$@"
}

build_qtbase() {
    done_stage qtbase && return 0
    fetch_debian_source qt6-base qtbase
    configure_qtbase qtbase -DFEATURE_sql=OFF
    cmake --build "$cache/build/qtbase" -j"$jobs"
    cmake --install "$cache/build/qtbase"
    stamp qtbase
}

build_qtserialport() {
    done_stage qtserialport && return 0
    if [ ! -d "$cache/src/qtserialport" ]; then
        mkdir -p "$cache/src/qtserialport"
        tar -xJf "$serialport_tarball" -C "$cache/src/qtserialport" --strip-components=1
    fi
    "$prefix/bin/qt-cmake" -S "$cache/src/qtserialport" -B "$cache/build/qtserialport" -G Ninja \
        -DCMAKE_BUILD_TYPE=Release -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
    cmake --build "$cache/build/qtserialport" -j"$jobs"
    cmake --install "$cache/build/qtserialport"
    stamp qtserialport
}

build_xlsxwriter() {
    done_stage xlsxwriter && return 0
    fetch_debian_source libxlsxwriter libxlsxwriter
    # A static library with MinGW's static zlib, so the zip needs no extra DLLs.
    cmake -S "$cache/src/libxlsxwriter" -B "$cache/build/libxlsxwriter" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF \
        -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include \
        -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a
    cmake --build "$cache/build/libxlsxwriter" -j"$jobs"
    cmake --install "$cache/build/libxlsxwriter"
    stamp xlsxwriter
}

# SQLite for Windows from Debian's own source (sqlite3): the one-file form
# (sqlite3.c) made on this machine by the source's own tools, then compiled with
# MinGW into a static library, so the program needs no sqlite3.dll.
build_sqlite() {
    done_stage sqlite && return 0
    fetch_debian_source sqlite3 sqlite3
    install_packages tcl gcc make
    local work="$cache/build/sqlite3"
    rm -rf "$work"
    mkdir -p "$work/host" "$prefix/include" "$prefix/lib/pkgconfig"
    (cd "$work/host" && "$cache/src/sqlite3/configure" --disable-tcl >/dev/null &&
        make -s sqlite3.c sqlite3.h)
    x86_64-w64-mingw32-gcc -O2 -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_COLUMN_METADATA \
        -DSQLITE_OMIT_LOAD_EXTENSION -c "$work/host/sqlite3.c" -o "$work/sqlite3.o"
    x86_64-w64-mingw32-ar rcs "$prefix/lib/libsqlite3.a" "$work/sqlite3.o"
    cp "$work/host/sqlite3.h" "$prefix/include/"
    local version
    version=$(sed -n '1s/^[^ ]* (\([^)]*\)).*/\1/p' "$cache/src/sqlite3/debian/changelog")
    cat >"$prefix/lib/pkgconfig/sqlite3.pc" <<PC
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: SQLite
Description: SQL database engine (static, for Windows, from Debian's sqlite3 $version)
Version: ${version%%-*}
Libs: -L\${libdir} -lsqlite3
Cflags: -I\${includedir}
PC
    stamp sqlite
}

# Qt SQL and its SQLite driver on the SQLite above: qtbase configured again as
# build_qtbase does, with sql on (a packed cache holds no build tree, so this is
# qtbase's whole build once more).
build_qtsql() {
    done_stage qtsql && return 0
    fetch_debian_source qt6-base qtbase
    configure_qtbase qtbase-sql \
        -DFEATURE_sql=ON -DFEATURE_sql_sqlite=ON -DFEATURE_system_sqlite=ON \
        -DFEATURE_sql_psql=OFF -DFEATURE_sql_mysql=OFF -DFEATURE_sql_odbc=OFF \
        -DSQLite3_INCLUDE_DIR="$prefix/include" -DSQLite3_LIBRARY="$prefix/lib/libsqlite3.a"
    cmake --build "$cache/build/qtbase-sql" -j"$jobs"
    cmake --install "$cache/build/qtbase-sql"
    [ -f "$prefix/plugins/sqldrivers/qsqlite.dll" ] ||
        fail "Qt SQL was built without its SQLite driver: $prefix/plugins/sqldrivers/qsqlite.dll is missing"
    # BUILT-FROM says what the store was built from, beside Qt's own source.
    if [ -f "$cache/BUILT-FROM" ] && ! grep -q '^sqlite3 ' "$cache/BUILT-FROM"; then
        sed -n '1s/^\([^ ]*\) (\([^)]*\)).*/\1 \2/p' "$cache/src/sqlite3/debian/changelog" >>"$cache/BUILT-FROM"
        echo "qt-sql sqlite-driver" >>"$cache/BUILT-FROM"
    fi
    stamp qtsql
}

# Idempotent touches on the finished prefix, cheap enough to run every time.
finish_prefix() {
    # MinGW's static zlib goes into the static libxlsxwriter, so the program links
    # it without a zlib1.dll and pkg-config needs no MinGW path.
    local archive="$prefix/lib/libxlsxwriter.a"
    if ! x86_64-w64-mingw32-ar t "$archive" | grep -q adler32; then
        local objects
        objects=$(mktemp -d)
        (cd "$objects" && x86_64-w64-mingw32-ar x "$mingw_lib_dir/libz.a")
        x86_64-w64-mingw32-ar rs "$archive" "$objects"/*.o
        rm -rf "$objects"
    fi
    # The program finds libxlsxwriter with pkg-config, as on Debian.
    mkdir -p "$prefix/lib/pkgconfig"
    cat >"$prefix/lib/pkgconfig/xlsxwriter.pc" <<PC
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: xlsxwriter
Description: A C library for creating Excel XLSX files (static, zlib inside, for Windows)
Version: 1.1.4
Libs: -L\${libdir} -lxlsxwriter
Cflags: -I\${includedir}
PC
    # The tests under Wine find every DLL in one folder (WINEPATH), and Qt's
    # Russian texts where QLibraryInfo says they are.
    cp -u "${runtime_dlls[@]}" "$prefix/bin/"
    mkdir -p "$prefix/translations"
    cp -u /usr/share/qt6/translations/qtbase_ru.qm "$prefix/translations/"
}

# What building the cache and the program needs; Debian's Qt tools are the host's.
toolchain_packages=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev ninja-build cmake
    qt6-base-dev qt6-base-dev-tools qt6-translations-l10n pkg-config dpkg-dev xz-utils)

# BUILT-FROM names the Debian source versions the cache was built from (the first
# line of each source's changelog) and the prefix's path. It travels in a packed
# cache: the Qt for Windows must come from the same qt6-base as the host's moc,
# rcc and uic, and text files that name the prefix are moved to where it lands.
write_built_from() {
    [ -f "$cache/BUILT-FROM" ] && return 0
    local source
    for source in qtbase libxlsxwriter; do
        [ -f "$cache/src/$source/debian/changelog" ] ||
            fail "$cache/src/$source/debian/changelog is missing: which Debian source built this cache is unknown"
        sed -n '1s/^\([^ ]*\) (\([^)]*\)).*/\1 \2/p' "$cache/src/$source/debian/changelog"
    done >"$cache/BUILT-FROM.new"
    echo "prefix $prefix" >>"$cache/BUILT-FROM.new"
    mv "$cache/BUILT-FROM.new" "$cache/BUILT-FROM"
}

# The packed cache beside the checkout, or the one KALENT_WINDOWS_CACHE_TARBALL names.
cache_tarball() {
    if [ -n "${KALENT_WINDOWS_CACHE_TARBALL:-}" ]; then
        echo "$KALENT_WINDOWS_CACHE_TARBALL"
        return
    fi
    local candidate
    for candidate in "$(dirname "$repo")"/shared/third-party/qt-windows-6.4.2-prefix.tar.*; do
        case "$candidate" in
        *.sha256) ;;
        *) [ -f "$candidate" ] && echo "$candidate" && return 0 ;;
        esac
    done
    return 0
}

# The prefix and BUILT-FROM, in one compressed tarball with its SHA-256 beside it
# (sha256sum's format). Written under a temporary name and renamed: an
# interrupted run leaves no tarball that looks whole.
pack_cache() {
    local file=$1 compressor
    [ -f "$cache/READY" ] || fail "no finished cache to pack in $cache (READY is missing)"
    case "$file" in
    *.tar.xz) compressor=(xz -T0 -6) ;;
    *.tar.zst) compressor=(zstd -T0 -19 -q) ;;
    *.tar.gz) compressor=(gzip -9) ;;
    *) fail "$file: the name must end in .tar.xz, .tar.zst or .tar.gz" ;;
    esac
    write_built_from
    mkdir -p "$(dirname "$file")"
    tar -C "$cache" --sort=name --owner=0 --group=0 --numeric-owner -cf - BUILT-FROM prefix |
        "${compressor[@]}" >"$file.partial"
    mv "$file.partial" "$file"
    (cd "$(dirname "$file")" && sha256sum "$(basename "$file")" >"$(basename "$file").sha256")
    echo "$file"
}

# A packed cache, checked before anything of it is used: its SHA-256 against the
# .sha256 beside it, its qt6-base against the host's Qt tools. Text files that
# name the packing machine's prefix (CMake files, pkg-config) are rewritten to
# this one's; binary files are left as Qt built them (they find their folder at
# run time).
unpack_cache() {
    local tarball=$1 expected actual
    [ -f "$tarball" ] || fail "$tarball: no such packed cache"
    [ -f "$tarball.sha256" ] || fail "$tarball has no $(basename "$tarball").sha256 beside it"
    expected=$(awk 'NR == 1 { print $1 }' "$tarball.sha256")
    actual=$(sha256sum "$tarball" | awk '{ print $1 }')
    [ "$actual" = "$expected" ] ||
        fail "$tarball is damaged: its SHA-256 is $actual, $(basename "$tarball").sha256 says ${expected:-nothing}"
    install_packages qt6-base-dev-tools
    case "$tarball" in *.zst) install_packages zstd ;; *.xz) install_packages xz-utils ;; esac
    mkdir -p "$cache"
    local scratch
    scratch=$(mktemp -d "$cache/unpack.XXXXXX")
    tar -C "$scratch" -xf "$tarball" || { rm -rf "$scratch"; fail "$tarball could not be unpacked"; }
    if [ ! -f "$scratch/BUILT-FROM" ] || [ ! -d "$scratch/prefix" ]; then
        rm -rf "$scratch"
        fail "$tarball holds no packed cache (BUILT-FROM and prefix/)"
    fi
    local built host
    built=$(sed -n 's/^qt6-base //p' "$scratch/BUILT-FROM")
    host=$(dpkg-query -W -f='${source:Version}' qt6-base-dev-tools)
    if [ "$built" != "$host" ]; then
        rm -rf "$scratch"
        fail "$tarball was built from qt6-base ${built:-(not recorded)}; this machine's Qt tools are qt6-base $host"
    fi
    local packed_prefix
    packed_prefix=$(sed -n 's/^prefix //p' "$scratch/BUILT-FROM")
    if [ -n "$packed_prefix" ] && [ "$packed_prefix" != "$prefix" ]; then
        local from to
        from=$(printf '%s' "$packed_prefix" | sed 's/[][\.*^$#]/\\&/g')
        to=$(printf '%s' "$prefix" | sed 's/[\&#]/\\&/g')
        { grep -rlIF -- "$packed_prefix" "$scratch/prefix" || true; } | while IFS= read -r text; do
            sed -i "s#$from#$to#g" "$text"
        done
        sed -i "s#^prefix .*#prefix $to#" "$scratch/BUILT-FROM"
    fi
    rm -rf "$prefix" "$cache/stamps"
    mv "$scratch/prefix" "$prefix"
    mv "$scratch/BUILT-FROM" "$cache/BUILT-FROM"
    rm -rf "$scratch"
    echo "Qt 6.4.2 for Windows, Qt Serial Port 6.4.2, libxlsxwriter; unpacked from $tarball (SHA-256 $actual)" >"$cache/READY"
    echo "windows-build: cache unpacked from $tarball: $cache" >&2
}

build_cache() {
    [ -f "$cache/READY" ] && return 0
    local tarball
    tarball=$(cache_tarball)
    if [ -n "$tarball" ]; then
        unpack_cache "$tarball"
        return
    fi
    local started=$SECONDS
    mkdir -p "$cache/src" "$cache/build" "$cache/stamps"
    install_packages "${toolchain_packages[@]}"
    build_qtbase
    build_qtserialport
    build_xlsxwriter
    write_built_from
    echo "Qt 6.4.2 for Windows, Qt Serial Port 6.4.2, libxlsxwriter; built in $((SECONDS - started)) s" >"$cache/READY"
    echo "windows-build: cache ready in $((SECONDS - started)) s: $cache" >&2
}

build_program() {
    # ccache when it is there: the second build of the same tree is quick.
    local launcher=()
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    fi
    # Qt's own toolchain file finds Qt for Windows and Debian's host tools; it
    # loads this repository's MinGW toolchain after it.
    PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" cmake -S "$repo" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$prefix/lib/cmake/Qt6/qt.toolchain.cmake" \
        -DQT_CHAINLOAD_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_PREFIX_PATH="$prefix" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$host_cmake_dir" \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$wine" \
        -DKALENT_WINE_PREFIX="$build/wine-prefix" -DKALENT_WINE_PATH="Z:$prefix/bin" \
        -DKALENT_WERROR=ON -DKALENT_BUILD_BENCH=OFF "${launcher[@]}"
    PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" cmake --build "$build" -j"$jobs"
}

# The folder a lab unpacks: the layout Qt looks for beside an executable.
package_program() {
    local stage="$build/kalent-service"
    rm -rf "$stage" "$build/kalent-service-windows-x64.zip"
    mkdir -p "$stage/platforms" "$stage/styles" "$stage/translations"
    cp "$build/src/app/kalent-service.exe" "$stage/"
    x86_64-w64-mingw32-strip "$stage/kalent-service.exe"
    local module
    for module in Core Gui Widgets PrintSupport SerialPort; do
        cp "$prefix/bin/Qt6$module.dll" "$stage/"
    done
    # The readings store, when the cache has Qt SQL (--sql); without it the
    # program is built without the store and says so.
    if [ -f "$prefix/bin/Qt6Sql.dll" ] && [ -f "$prefix/plugins/sqldrivers/qsqlite.dll" ]; then
        mkdir -p "$stage/sqldrivers"
        cp "$prefix/bin/Qt6Sql.dll" "$stage/"
        cp "$prefix/plugins/sqldrivers/qsqlite.dll" "$stage/sqldrivers/"
    fi
    cp "${runtime_dlls[@]}" "$stage/"
    # qwindows for the window and for the pages the command line draws (a PDF)
    # with the system's fonts, showing no window.
    cp "$prefix/plugins/platforms/qwindows.dll" "$stage/platforms/"
    cp "$prefix/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
    cp /usr/share/qt6/translations/qtbase_ru.qm "$stage/translations/"
    cp "$repo/README.md" "$stage/README.md"
    (cd "$build" && zip -qr kalent-service-windows-x64.zip kalent-service)
    echo "$build/kalent-service-windows-x64.zip"
    "$repo/packaging/windows/make-msi.sh" "$stage" "$(package_version)" "$build/kalent-service-windows-x64.msi"
}

# The version the program prints (CMake's project version).
package_version() { sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt"; }

# Wine's serial driver, given an overlapped WaitCommEvent without an event of
# the caller's own (Qt Serial Port waits on a completion port), waits right there
# until the line changes, where Windows returns at once. The window's start-up
# opens every port the system lists, so a UART of the build machine (a virtual
# machine's /dev/ttyS0) would hold it before it ever shows. Wine is therefore run
# in a private mount namespace where each /dev/ttyS* is /dev/null: it finds no
# UART and lists no COM port. Without unshare (not root, no namespaces) it runs
# as it is, and says so.
without_host_uarts() {
    if compgen -G '/dev/ttyS*' >/dev/null && unshare --mount true 2>/dev/null; then
        # A running server keeps the ports it found: the next one starts inside.
        /usr/lib/wine/wineserver -k 2>/dev/null || true
        # shellcheck disable=SC2016 # expanded by the inner shell
        unshare --mount sh -c 'for d in /dev/ttyS*; do mount --bind /dev/null "$d"; done; exec "$@"' \
            sh "$@"
    else
        compgen -G '/dev/ttyS*' >/dev/null &&
            echo "windows-build: no private mount namespace; Wine sees this machine's serial ports" >&2
        "$@"
    fi
}

# fonts-dejavu-core: the fonts the tests' offscreen platform reads (KALENT_WINE_FONT_DIR).
prepare_wine_prefix() {
    install_packages wine64 fonts-dejavu-core "$@"
    export WINEPREFIX="$build/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        "$wine" wineboot --init
        /usr/lib/wine/wineserver --wait || true
    fi
}

# The core, simulator and window suites under Wine; the Linux-only suites are
# registered as disabled and named in ctest's summary. Then the installer: its
# install, upgrades, uninstall and the installed program's answers against the
# Linux build of the same tree (tests/windows/msi-under-wine.sh).
run_tests() {
    prepare_wine_prefix
    # A Wine process that finds no server running starts one, with Wine's
    # services, and they keep its standard error open. ctest waits for the end
    # of that test's output, so the test "times out" after printing its totals
    # while the other suites keep the server busy. The server and the services
    # are started first, with nothing of ctest's open, and stopped at the end.
    # shellcheck disable=SC2016 # expanded by the inner shell
    without_host_uarts sh -c '/usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1
        "$0" wineboot </dev/null >/dev/null 2>&1
        "$@"; status=$?
        /usr/lib/wine/wineserver -k
        exit $status' "$wine" ctest --test-dir "$build" -j"$jobs" --output-on-failure
    local linux_program="${KALENT_LINUX_PROGRAM:-$repo/build/src/app/kalent-service}"
    [ -x "$linux_program" ] ||
        fail "the installer's checks compare with the Linux program, and $linux_program is missing: build it (scripts/test.sh) or name it in KALENT_LINUX_PROGRAM"
    without_host_uarts "$repo/tests/windows/msi-under-wine.sh" "$build/kalent-service-windows-x64.msi" \
        "$build/kalent-service" "$(package_version)" "$linux_program"
}

# The unpacked zip's window on the built-in instrument, as Wine draws it on a
# virtual X server, in a Wine desktop that gives it the frame Windows gives it
# (fonts: Wine's own, as a Windows PC uses its system's; the lab's Russian
# locale for the clock's date). The desktop's empty edges are trimmed: the picture
# holds the window and the built-in instrument's panel beside it.
take_screenshot() {
    if [ "${1:-}" != "--inside-xvfb" ]; then
        # fonts-wine: the glyphs of Wine's caption buttons.
        prepare_wine_prefix xvfb xauth x11-apps imagemagick xdotool locales fonts-wine
        # Wine takes its locale from the system's, as the lab's PC has it: Russian.
        locale -a | grep -qix 'ru_RU.utf8' || $SUDO localedef -i ru_RU -c -f UTF-8 ru_RU.UTF-8
        # Wine draws its caption buttons with Marlett, which it finds only among
        # the Windows fonts.
        cp -u /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
        without_host_uarts xvfb-run -a -s "-screen 0 1400x720x24" "$0" --screenshot-inside-xvfb
        return
    fi
    local data
    data=$(mktemp -d)
    LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8 "$wine" explorer /desktop=kalent,1400x720 \
        "$build/kalent-service/kalent-service.exe" --port sim --data-dir "Z:$data" >/dev/null 2>&1 &
    local app=$!
    local window desktop status=0
    window=$(timeout 120 xdotool search --sync --name '^КАЛЕНТ-сервис$' | head -1) || true
    desktop=$(xdotool search --name '^kalent - Wine desktop$' | head -1) || true
    if [ -n "$window" ] && [ -n "$desktop" ]; then
        sleep 3 # the first paint of every page part
        import -window "$desktop" png:- |
            convert png:- -fuzz 1% -trim +repage "$repo/docs/windows-window.png" || status=1
    else
        echo "windows-build: the window did not appear within 120 s under Wine" >&2
        status=1
    fi
    # The program and Wine end either way: nothing is left running.
    kill "$app" 2>/dev/null || true
    /usr/lib/wine/wineserver -k || true
    rm -rf "$data"
    [ "$status" -eq 0 ] && echo "$repo/docs/windows-window.png"
    return "$status"
}

if [ "$inside_xvfb" -eq 1 ]; then
    take_screenshot --inside-xvfb
    exit $?
fi

if [ -n "$pack_file" ]; then
    pack_cache "$pack_file"
    exit 0
fi
build_cache
if [ "$with_sql" -eq 1 ]; then
    mkdir -p "$cache/src" "$cache/build" "$cache/stamps"
    install_packages "${toolchain_packages[@]}"
    build_sqlite
    build_qtsql
fi
[ "$cache_only" -eq 1 ] && exit 0
# Debian 12 ships wixl, which builds the MSI, apart from msitools (msiinfo, msiextract).
install_packages "${toolchain_packages[@]}" zip ccache msitools wixl icoutils librsvg2-bin
finish_prefix
build_program
package_program
[ "$run_tests" -eq 1 ] && run_tests
[ "$screenshot" -eq 1 ] && take_screenshot
exit 0
