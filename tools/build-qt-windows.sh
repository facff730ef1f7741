#!/bin/sh
# Rebuilds the Qt for Windows that `./build.sh windows` uses: Qt 6.4.2 qtbase (Core, Gui,
# Widgets, Test; platforms windows, offscreen, minimal; the Windows styles) cross-built for
# x86_64-w64-mingw32 with posix threads, from Debian 12's own qt6-base source with Debian's
# four CVE patches. About 15 to 25 minutes on two cores; CI does not run it. As root on
# Debian 12 (it installs packages, and adds a deb-src entry when apt has none).
#   tools/build-qt-windows.sh [WORKDIR]        (default: ./build-qt-windows)
# Leaves WORKDIR/qt-6.4.2-mingw64/, relocatable, and WORKDIR/qt-6.4.2-mingw64.tar.xz; either
# serves as TOLVANE_QT_WINDOWS.
set -eu
work=$(realpath -m "${1:-build-qt-windows}")
jobs=$(nproc 2>/dev/null || echo 2)
name=qt-6.4.2-mingw64
prefix=$work/$name
mkdir -p "$work"
cd "$work"

fail() {
    echo "build-qt-windows: $*" >&2
    exit 1
}

export DEBIAN_FRONTEND=noninteractive
missing=""
for p in g++-mingw-w64-x86-64-posix cmake ninja-build perl dpkg-dev patch xz-utils qt6-base-dev qt6-base-dev-tools; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    apt-get update -qq </dev/null
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing </dev/null
fi

# The host tools (moc, rcc, uic) must be the same Qt version as the target libraries.
version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
case "$version" in
6.4.2+*) ;;
*) fail "qt6-base-dev is $version; this build is for 6.4.2" ;;
esac

# 1. The sources: qt6-base of the host tools' version, and wine's for two headers.
if ! apt-cache showsrc qt6-base 2>/dev/null | grep -q '^Package: qt6-base'; then
    cat >/etc/apt/sources.list.d/bookworm-src.sources <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    apt-get update -qq </dev/null
fi
apt-get source --download-only "qt6-base=$version" </dev/null
apt-get source --download-only wine </dev/null
rm -rf qtbase wine-headers
dpkg-source --skip-patches -x qt6-base_*.dsc qtbase >/dev/null

# Debian's CVE fixes, and only those: its other patches serve its Linux build.
for patch in cve-2023-32762.diff cve-2023-32763.diff cve-2023-33285.diff cve-2023-24607.patch; do
    patch -d qtbase -p1 --forward <"qtbase/debian/patches/$patch"
done

# 2. The dfsg tarball lacks src/3rdparty/wintab, which the windows platform plugin needs.
#    Wine's LGPL copies serve, given <windows.h> and three macros of Wine's own headers.
mkdir -p wine-headers qtbase/src/3rdparty/wintab
tar -xf wine_*.orig.tar.* -C wine-headers --wildcards --strip-components=2 '*/include/wintab.h' '*/include/pktdef.h'
{
    cat <<'PRELUDE'
/* Wine's wintab.h, with what it takes from Wine's own headers. */
#include <windows.h>
#ifdef UNICODE
#define WINELIB_NAME_AW(func) func##W
#else
#define WINELIB_NAME_AW(func) func##A
#endif
#define DECL_WINELIB_TYPE_AW(type) typedef WINELIB_NAME_AW(type) type;
#define API WINAPI
PRELUDE
    cat wine-headers/wintab.h
} >qtbase/src/3rdparty/wintab/wintab.h
cp wine-headers/pktdef.h qtbase/src/3rdparty/wintab/pktdef.h

# 3. Without Direct2D, QtGui 6.4.2 has no QWindowsDirectWriteFontDatabase, which the
#    windows plugin uses under QT_CONFIG(directwrite3) alone; text then goes through GDI.
integration=qtbase/src/plugins/platforms/windows/qwindowsintegration.cpp
sed -i 's/QT_CONFIG(directwrite3)\( *\)$/QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/; s/QT_CONFIG(directwrite3))/QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d))/' \
    "$integration"
[ "$(grep -c 'QT_CONFIG(directwrite3) && QT_CONFIG(direct2d)' "$integration")" -eq 2 ] ||
    fail "$integration: expected two uses of QT_CONFIG(directwrite3)"

# 4. Configure for mingw-w64 with posix threads; bundled third-party code, so that no
#    other DLLs are needed.
cat >mingw64-toolchain.cmake <<'TOOLCHAIN'
# CMake toolchain file: Windows x86_64 via Debian's mingw-w64 (posix threads)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER   ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${MINGW_TRIPLE}-windres)
set(CMAKE_AR           /usr/bin/${MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB       /usr/bin/${MINGW_TRIPLE}-ranlib CACHE FILEPATH "")

# Target root: mingw-w64 headers and libs. (Qt's qt.toolchain.cmake appends
# the Qt prefix to CMAKE_FIND_ROOT_PATH when consumers chain-load this file.)
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
TOOLCHAIN
rm -rf build "$prefix"
cmake -S qtbase -B build -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$work/mingw64-toolchain.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON -DQT_QMAKE_TARGET_MKSPEC=win32-g++ \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_pkg_config=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF \
    -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF \
    -DFEATURE_testlib=ON -DFEATURE_xml=OFF -DFEATURE_icu=OFF -DFEATURE_zstd=OFF -DFEATURE_vulkan=OFF \
    -DFEATURE_direct2d=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_doubleconversion=OFF \
    -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF -DFEATURE_system_freetype=OFF \
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_textmarkdownreader=OFF -DFEATURE_system_libb2=OFF

# 5. Build, install stripped, and make the prefix relocatable: the toolchain file goes
#    inside it and qt.toolchain.cmake finds it relative to itself.
cmake --build build --parallel "$jobs"
cmake --install build --strip
cp mingw64-toolchain.cmake "$prefix/lib/cmake/Qt6/mingw64-toolchain.cmake"
sed -i 's|^set(__qt_initially_configured_toolchain_file .*)$|set(__qt_initially_configured_toolchain_file "${CMAKE_CURRENT_LIST_DIR}/mingw64-toolchain.cmake")|' \
    "$prefix/lib/cmake/Qt6/qt.toolchain.cmake"
grep -q 'CMAKE_CURRENT_LIST_DIR}/mingw64-toolchain.cmake' "$prefix/lib/cmake/Qt6/qt.toolchain.cmake" ||
    fail "qt.toolchain.cmake: the toolchain line was not found"
tar -cJf "$name.tar.xz" "$name"
echo "Qt for Windows: $prefix ($work/$name.tar.xz)"
