#!/bin/bash
# Tries the installer as an administrator deploying it would, in a fresh wine prefix with
# a Japanese locale: an older version first, then a silent install of this one over it for
# the current user, then its files, Start-menu
# shortcut, 「プログラムから開く」 and uninstall keys; the installed tolvane-cli.exe converts a
# Japanese file to the bytes the Linux build writes; the installed window opens
# (offscreen); detect's redirected output is in code page 932, or UTF-8 with --utf8;
# the upgrade removed the older version's files and kept the settings and one entry;
# installing again over it does the same; a silent uninstall leaves nothing the installer
# made and keeps the settings.
# usage: tools/wine-install-test.sh SETUP.exe BUILD-WINDOWS-FOLDER
# Called by tools/build-windows.sh. Wine's output goes to files, never a pipe (its services
# would hold the pipe open).
set -euo pipefail
setup=$(realpath "$1")
build=$(realpath "$2")
top=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^project(Tolvane VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
stage=$build/stage/tolvane-$version-windows-x64

work=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-install.XXXXXX")
# No menu entries on this machine for the shortcuts made inside the prefix.
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Japanese, as the users' systems are: code page 932, the installer's Japanese pages.
localedef -i ja_JP -f UTF-8 "$work/ja_JP.UTF-8" 2>/dev/null || true
# This shell keeps its own locale (it read LOCPATH at its start): quiet its warning.
export LOCPATH=$work
{ export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8; } 2>/dev/null
unset DISPLAY
mkdir -p "$WINEPREFIX"
# TOLVANE_KEEP_PREFIX=1 keeps the prefix and the logs for a look afterwards.
trap 'wineserver -k >/dev/null 2>&1 </dev/null || true; [ -n "${TOLVANE_KEEP_PREFIX:-}" ] || rm -rf "$work"' EXIT

failures=0
check() { # check DESCRIPTION COMMAND...: runs the command, tells and counts a failure
    local what=$1
    shift
    if "$@"; then
        echo "  ok: $what"
    else
        echo "  FAILED: $what" >&2
        failures=$((failures + 1))
    fi
}
w() { wine "$@" </dev/null >>"$work/wine.log" 2>&1; }
# A registry query's answer, as text in a file (reg.exe writes the console's code page).
query() { wine reg query "$@" </dev/null >"$work/reg.txt" 2>>"$work/wine.log"; }
has_key() { query "$1"; }
key_holds() { query "$1" "${@:3}" && grep -q -- "$2" "$work/reg.txt"; }
no_key() { ! query "$1"; }
not_default() { ! { query "$1" /ve && grep -q Tolvane "$work/reg.txt"; }; }
no_trace() { ! grep -i -q tolvane "$WINEPREFIX/user.reg" "$WINEPREFIX/system.reg"; }

# No persistent server: `wineserver -w` waits for each step's processes to end.
wineboot -i >"$work/wineboot.log" 2>&1 </dev/null || { cat "$work/wineboot.log"; exit 1; }
wineserver -w

home=
for folder in "$WINEPREFIX"/drive_c/users/*; do
    [ "$(basename "$folder")" = Public ] || home=$folder
done
dir=$home/AppData/Local/Programs/Tolvane

# The older version: the same installer at 0.0.1 with a file this version no longer has,
# built uncompressed to save time. Its user has settings already.
lists=$build/installer
printf 'SetOutPath "$INSTDIR"\nFile "%s"\n' "$top/tools/wine-install-test.sh" >"$work/older-files.nsh"
cat "$lists/files.nsh" >>"$work/older-files.nsh"
{ echo 'Delete "$INSTDIR\wine-install-test.sh"'; cat "$lists/remove.nsh"; } >"$work/older-remove.nsh"
makensis -V2 -INPUTCHARSET UTF8 "-XSetCompressor /FINAL zlib" "-XSetCompress off" -DVERSION=0.0.1 -DPUBLISHER=Tolvane \
    -DICON="$top/packaging/windows/tolvane.ico" -DFILES="$work/older-files.nsh" -DREMOVE="$work/older-remove.nsh" \
    -DOUTFILE="$work/older-setup.exe" "$top/packaging/windows/tolvane.nsi" >"$work/makensis.log" 2>&1 ||
    { cat "$work/makensis.log"; exit 1; }
w "$work/older-setup.exe" /S /CURRENTUSER
wineserver -w
uninstall='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tolvane'
check "the older version is installed" key_holds "$uninstall" "DisplayVersion.*0\.0\.1"
check "with its own file" test -f "$dir/wine-install-test.sh"
mkdir -p "$home/AppData/Roaming/Tolvane"
echo '[folders]' >"$home/AppData/Roaming/Tolvane/Tolvane.ini"

started=$(date +%s)
echo "installing $(basename "$setup") ($(stat -c %s "$setup") bytes) silently for the current user, over 0.0.1"
w "$setup" /S /CURRENTUSER
wineserver -w
echo "  installed in $(($(date +%s) - started)) s"
check "upgraded: the older version's file is gone" test ! -e "$dir/wine-install-test.sh"
check "upgraded: the settings stay" test -f "$home/AppData/Roaming/Tolvane/Tolvane.ini"

check "every file of the zip, the same bytes" diff -r -q "$stage" "$dir" -x uninstall.exe
check "the uninstaller" test -f "$dir/uninstall.exe"
lnk="$home/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Tolvane.lnk"
check "Start-menu shortcut Tolvane.lnk to tolvane.exe" grep -a -q -i 'Programs\\Tolvane\\tolvane.exe' "$lnk"
check "no desktop shortcut unless asked" test ! -e "$home/Desktop/Tolvane.lnk"
classes='HKCU\Software\Classes'
for ext in .csv .txt .tsv; do
    check "$ext lists Tolvane under プログラムから開く" key_holds "$classes\\$ext\\OpenWithProgids" Tolvane.DelimitedText
    check "$ext keeps its default program" not_default "$classes\\$ext"
done
check "the open command" key_holds "$classes\\Tolvane.DelimitedText\\shell\\open\\command" 'tolvane.exe" "%1"' /ve
check "the application's name for Open with" key_holds "$classes\\Applications\\tolvane.exe" Tolvane /v FriendlyAppName
for value in "DisplayName.*Tolvane" "DisplayVersion.*$version" Publisher "DisplayIcon.*tolvane.exe" \
    "UninstallString.*uninstall.exe" "QuietUninstallString.*/S" EstimatedSize "InstallLocation.*Programs"; do
    check "uninstall entry: $value" key_holds "$uninstall" "$value"
done
check "nothing for all users" no_key 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tolvane'
# The version resource's strings are UTF-16, each name followed by its value; the
# manifest is plain text.
resource() { strings -e l "$1" | grep -A1 -x "$2" | tail -n 1 | grep -q -- "$3"; }
for exe in tolvane tolvane-cli; do
    for value in "ProductVersion $version" "FileVersion $version" "ProductName Tolvane" \
        "FileDescription Tolvane" "LegalCopyright Copyright" "OriginalFilename $exe.exe"; do
        check "$exe.exe: $value" resource "$dir/$exe.exe" "${value%% *}" "${value#* }"
    done
    check "$exe.exe has a manifest with long paths" grep -a -q longPathAware "$dir/$exe.exe"
done

# A code page 932 source under a Japanese name: 品名,売上 / ソフト,"1,000" / ポ,80
mkdir -p "$work/data"
printf '\x95\x69\x96\xbc,\x94\x84\x8f\xe3\r\n\x83\x5c\x83\x74\x83\x67,"1,000"\r\n\x83\x7c,80\r\n' >"$work/data/売上.csv"
printf '\x94\x84\x8f\xe3\t\x95\x69\x96\xbc\r\n"1,000"\t\x83\x5c\x83\x74\x83\x67\r\n80\t\x83\x7c\r\n' >"$work/expected.txt"
w "$dir/tolvane-cli.exe" convert -c 2,1 --tab "Z:$work/data/売上.csv" "Z:$work/data/売上-tab.txt"
check "tolvane-cli convert writes the expected bytes" cmp "$work/expected.txt" "$work/data/売上-tab.txt"
if [ -x "$top/build/tolvane" ]; then
    "$top/build/tolvane" convert -c 2,1 --tab "$work/data/売上.csv" "$work/linux.txt" 2>/dev/null
    check "the same bytes as the Linux build" cmp "$work/linux.txt" "$work/data/売上-tab.txt"
else
    echo "  (no Linux build in $top/build: compared with the expected bytes only)"
fi

# What cmd.exe, find and for /f read from a redirection: the console's code page, 932 on
# this Japanese system; --utf8 makes it UTF-8.
printf '区切文字\t,\n1\t品名\n2\t売上\n' >"$work/detect-utf8.txt"
iconv -f UTF-8 -t CP932 "$work/detect-utf8.txt" >"$work/detect-932.txt"
# A batch file, as a user writes one: in code page 932, with CR LF.
winepath -w "$work" >"$work/folder.txt" 2>/dev/null
folder=$(cat "$work/folder.txt")
printf '@echo off\r\ncd /d "%s"\r\n"%s" detect data\\売上.csv > list.txt\r\n"%s" --utf8 detect data\\売上.csv > list-utf8.txt\r\n' \
    "$folder" "$(winepath -w "$dir/tolvane-cli.exe" 2>/dev/null)" "$(winepath -w "$dir/tolvane-cli.exe" 2>/dev/null)" |
    iconv -f UTF-8 -t CP932 >"$work/detect.bat"
w cmd /c "$folder\\detect.bat"
check "detect > list.txt writes code page 932" cmp "$work/detect-932.txt" "$work/list.txt"
check "detect --utf8 > list.txt writes UTF-8" cmp "$work/detect-utf8.txt" "$work/list-utf8.txt"

# The installed window, offscreen, with the source: still open after a while means it
# found its DLLs and did not fail on the file. The offscreen platform serves only the
# tests and is not installed: it comes from the build folder.
WINEQT_QPA_PLATFORM=offscreen WINEQT_QPA_FONTDIR=Z:/usr/share/fonts/opentype/ipafont-gothic \
    WINEQT_QPA_PLATFORM_PLUGIN_PATH="$(winepath -w "$build/bin/platforms" 2>/dev/null)" \
    wine "$dir/tolvane.exe" "Z:$work/data/売上.csv" </dev/null >"$work/window.log" 2>&1 &
window=$!
sleep 8
check "the installed window stays open" kill -0 "$window"
wineserver -k >/dev/null 2>&1 </dev/null || true
wait "$window" 2>/dev/null || true

# Installing again over the installation (as a newer version would): its uninstaller goes
# first, the settings stay, one entry remains.
echo stale >"$dir/left-by-hand.txt"
w "$setup" /S /CURRENTUSER
wineserver -w
check "installed again: every file" diff -r -q "$stage" "$dir" -x uninstall.exe -x left-by-hand.txt
check "installed again: the settings stay" test -f "$home/AppData/Roaming/Tolvane/Tolvane.ini"
check "installed again: one entry" key_holds "$uninstall" "DisplayName.*Tolvane"
check "installed again: no entry for all users" no_key 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tolvane'
rm -f "$dir/left-by-hand.txt"

started=$(date +%s)
w "$dir/uninstall.exe" /S
wineserver -w
echo "  uninstalled in $(($(date +%s) - started)) s"
check "the program's folder is gone" test ! -e "$dir"
check "the shortcut is gone" test ! -e "$lnk"
for key in "$classes\\.csv\\OpenWithProgids" "$classes\\.txt" "$classes\\.tsv" "$classes\\Tolvane.DelimitedText" \
    "$classes\\Applications\\tolvane.exe" "$uninstall"; do
    check "no $key" no_key "$key"
done
check "no trace of Tolvane in the registry" no_trace
check "the settings stay" test -f "$home/AppData/Roaming/Tolvane/Tolvane.ini"

if [ "$failures" -ne 0 ]; then
    echo "wine-install-test: $failures checks failed (wine's output: kept in $work.log)" >&2
    cp "$work/wine.log" "$work.log" 2>/dev/null || true
    exit 1
fi
echo "wine-install-test: all checks passed"
