#!/bin/sh
# Cross-builds Tolvane for Windows x86-64 with Debian's mingw-w64, runs the whole test
# suite under wine, and writes dist/tolvane-VERSION-windows-x64.zip and the installer
# dist/tolvane-VERSION-setup.exe (NSIS), which tools/wine-install-test.sh then installs,
# tries and removes in a fresh wine prefix. Called by
# `./build.sh windows`, which installs the packages first.
#   TOLVANE_QT_WINDOWS  the Qt for Windows: an installed prefix, or its tarball. Default:
#                       ../shared/qt-mingw/qt-6.4.2-mingw64.tar.xz beside this checkout.
set -eu
cd "$(dirname "$0")/.."
top=$PWD
build=$top/build-windows
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
mkdir -p "$build"

fail() {
    echo "build-windows: $*" >&2
    exit 1
}

# The Qt prefix: the folder whose lib/cmake/Qt6 holds qt.toolchain.cmake.
qt=${TOLVANE_QT_WINDOWS:-$(dirname "$top")/shared/qt-mingw/qt-6.4.2-mingw64.tar.xz}
if [ -d "$qt" ]; then
    prefix=$(cd "$qt" && pwd)
elif [ -f "$qt" ]; then
    # Unpacked once into the build folder; again when the tarball changes.
    stamp="$(ls -l --time-style=+%s "$qt" | awk '{print $5, $6}') $qt"
    if [ "$(cat "$build/qt.stamp" 2>/dev/null)" != "$stamp" ]; then
        rm -rf "$build/qt" "$build/qt.stamp"
        mkdir -p "$build/qt"
        tar xJf "$qt" -C "$build/qt"
        echo "$stamp" >"$build/qt.stamp"
    fi
    toolchain=$(find "$build/qt" -maxdepth 5 -path '*/lib/cmake/Qt6/qt.toolchain.cmake' | head -n 1)
    [ -n "$toolchain" ] || fail "$qt holds no lib/cmake/Qt6/qt.toolchain.cmake"
    prefix=${toolchain%/lib/cmake/Qt6/qt.toolchain.cmake}
else
    fail "no Qt for Windows at $qt
  Set TOLVANE_QT_WINDOWS to a Qt prefix or tarball, or build one with tools/build-qt-windows.sh."
fi
toolchain=$prefix/lib/cmake/Qt6/qt.toolchain.cmake
[ -f "$toolchain" ] || fail "$prefix is no Qt prefix: it lacks lib/cmake/Qt6/qt.toolchain.cmake"
echo "Qt for Windows: $prefix"

# Another Qt means another toolchain: configure afresh.
if ! grep -qs "^CMAKE_TOOLCHAIN_FILE:[A-Z]*=$toolchain\$" "$build/CMakeCache.txt"; then
    rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
started=$(date +%s)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchain" >/dev/null
cmake --build "$build" -j "$jobs"
built=$(date +%s)

# Wine: a prefix of its own in the build folder, its server started once for all tests
# and ended at the end; its output never goes into a pipe (its services would hold it).
export WINEPREFIX="$build/wineprefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
mkdir -p "$WINEPREFIX"
wineserver -k >/dev/null 2>&1 </dev/null || true
wineserver -p >/dev/null 2>&1 </dev/null || fail "wineserver -p failed"
trap 'wineserver -k >/dev/null 2>&1 </dev/null || true' EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >"$build/wineboot.log" 2>&1 </dev/null || { cat "$build/wineboot.log"; fail "wineboot failed"; }
fi
wine cmd /c exit >"$build/wine-warmup.log" 2>&1 </dev/null
tests_started=$(date +%s)
status=0
(cd "$build" && ctest --output-on-failure </dev/null) || status=$?
tested=$(date +%s)

# The zip: what `cmake --install` puts in a folder, and the read-me files in the form
# Notepad shows best (UTF-8 with a byte order mark, CR LF).
version=$(sed -n 's/^project(Tolvane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=tolvane-$version-windows-x64
zip=$top/dist/$name.zip
if [ "$status" -eq 0 ]; then
    rm -rf "$build/stage"
    cmake --install "$build" --prefix "$build/stage/$name" --strip >/dev/null
    for readme in packaging/windows/README-*.txt; do
        out="$build/stage/$name/$(basename "$readme")"
        printf '\357\273\277' >"$out"
        sed "s/VERSION/$version/g; s/\r$//; s/\$/\r/" "$readme" >>"$out"
    done
    mkdir -p dist
    rm -f "$zip"
    (cd "$build/stage" && zip -q -r -9 -X "$zip" "$name")

    # The installer: the same files, listed one by one for the installer and, deepest
    # first, for the uninstaller, which so removes only what it installed.
    stage=$build/stage/$name
    lists=$build/installer
    rm -rf "$lists"
    mkdir -p "$lists"
    winpath() { printf '%s' "${1#.}" | sed 's|/|\\|g'; }
    (cd "$stage" && find . -type d | sort) | while read -r dir; do
        printf "%s\n" "SetOutPath \"\$INSTDIR$(winpath "$dir")\""
        find "$stage/$dir" -maxdepth 1 -type f | sort | while read -r file; do
            printf "%s\n" "File \"$file\""
        done
    done >"$lists/files.nsh"
    (cd "$stage" && find . -type f | sort) | while read -r file; do
        printf "%s\n" "Delete \"\$INSTDIR$(winpath "$file")\""
    done >"$lists/remove.nsh"
    (cd "$stage" && find . -mindepth 1 -type d | sort -r) | while read -r dir; do
        printf "%s\n" "RMDir \"\$INSTDIR$(winpath "$dir")\""
    done >>"$lists/remove.nsh"
    publisher=$(sed -n 's/^TOLVANE_PUBLISHER:[A-Z]*=//p' "$build/CMakeCache.txt")
    setup=$top/dist/tolvane-$version-setup.exe
    rm -f "$setup"
    makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DPUBLISHER="$publisher" -DICON="$top/packaging/windows/tolvane.ico" \
        -DFILES="$lists/files.nsh" -DREMOVE="$lists/remove.nsh" -DOUTFILE="$setup" packaging/windows/tolvane.nsi >"$lists/makensis.log" 2>&1 ||
        { cat "$lists/makensis.log"; fail "makensis failed"; }
    install_started=$(date +%s)
    tools/wine-install-test.sh "$setup" "$build" || installer_status=$?
    install_tested=$(date +%s)
fi

echo "cross build: $((built - started)) s; tests under wine: $((tested - tests_started)) s"
if [ "$status" -ne 0 ]; then
    fail "a test failed under wine (logs: $build/bin/*.wine.log); no zip written"
fi
[ "${installer_status:-0}" -eq 0 ] || fail "the installer's test under wine failed"
echo "installer's test under wine: $((install_tested - install_started)) s"
echo "zip: $zip ($(stat -c %s "$zip") bytes)"
echo "setup: $setup ($(stat -c %s "$setup") bytes)"
