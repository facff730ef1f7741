#!/bin/bash
# A picture of the Windows program for README: the zip unpacked into an empty folder, its
# tolvane.exe started under wine with a fresh prefix on Xvfb (Qt's windows platform, fonts
# through fontconfig), a code page 932 source chosen through the file dialog, the screen
# saved.
# usage: tools/windows-screenshot.sh ZIP OUT.png
set -euo pipefail
ZIP=$(realpath "$1")
OUT=$(realpath -m "$2")
if [ -z "${TOLVANE_IN_XVFB:-}" ]; then
    exec env TOLVANE_IN_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
WORK=$(mktemp -d)
export WINEPREFIX=$WORK/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEQT_QPA_PLATFORM WINEQT_QPA_FONTDIR
mkdir -p "$WINEPREFIX"
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WORK"' EXIT
wineserver -p >/dev/null 2>&1 </dev/null
wineboot -i >"$WORK/wineboot.log" 2>&1 </dev/null
(cd "$WORK" && unzip -q "$ZIP")
EXE=$(ls "$WORK"/tolvane-*-windows-x64/tolvane.exe)
# 商品コード,品名,価格 / A001,ソフト,120 / "B,002",表ポ,80
printf '\x8f\xa4\x95\x69\x83\x52\x81\x5b\x83\x68,\x95\x69\x96\xbc,\x89\xbf\x8a\x69\r\nA001,\x83\x5c\x83\x74\x83\x67,120\r\n"B,002",\x95\x5c\x83\x7c,80\r\n' >"$WORK/sales.csv"

wine "$EXE" >"$WORK/tolvane.log" 2>&1 </dev/null &
WID=
for _ in $(seq 100); do
    WID=$(xdotool search --name '^Tolvane$' 2>/dev/null | head -1 || true)
    [ -n "$WID" ] && break
    sleep 0.3
done
[ -n "$WID" ] || { echo "no window named Tolvane appeared" >&2; exit 1; }
sleep 2
eval "$(xdotool getwindowgeometry --shell "$WID")" # X, Y of the client area
# 元ファイル, below the menu bar; then the file name, typed into the dialog. There is no
# window manager to give the dialog the keyboard, so it is given here.
xdotool mousemove $((X + 76)) $((Y + ${TOLVANE_MENU_HEIGHT:-20} + 464)) click 1
DIALOG=
for _ in $(seq 50); do
    sleep 0.3
    for w in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
        [ "$w" = "$WID" ] && continue
        eval "$(xdotool getwindowgeometry --shell "$w" | sed 's/^/D/')"
        [ "$DWIDTH" -gt 300 ] && DIALOG=$w
    done
    [ -n "$DIALOG" ] && break
done
[ -n "$DIALOG" ] || { echo "no file dialog appeared" >&2; exit 1; }
sleep 1
xdotool windowfocus --sync "$DIALOG"
xdotool type --delay 20 'Z:'"${WORK//\//\\}"'\sales.csv'
xdotool key Return
sleep 3
import -window "$WID" "$OUT"
