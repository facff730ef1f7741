#!/bin/bash
# A user's session under Xvfb: choose a code page 932 source in the real file dialog,
# drag two items from the source list onto the output list with the mouse, choose the
# output file, convert, and check the output bytes.
# usage: drag_and_convert.sh TOLVANE_BINARY [SCREENSHOT.png]
set -euo pipefail
BIN=$1
SHOT=${2:-}
# Always on a private X server, whatever display the caller has.
if [ -z "${TOLVANE_IN_XVFB:-}" ]; then
    exec env TOLVANE_IN_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
unset QT_QPA_PLATFORM
WORK=$(mktemp -d)
export XDG_CONFIG_HOME="$WORK" # the file dialogs remember their folders; not in the user's settings
trap 'kill $PID 2>/dev/null || true; rm -rf "$WORK"' EXIT
# 商品コード,品名,価格 / A001,ソフト,120 / "B,002",表ポ,80
printf '\x8f\xa4\x95\x69\x83\x52\x81\x5b\x83\x68,\x95\x69\x96\xbc,\x89\xbf\x8a\x69\r\nA001,\x83\x5c\x83\x74\x83\x67,120\r\n"B,002",\x95\x5c\x83\x7c,80\r\n' >"$WORK/src.csv"

"$BIN" &
PID=$!
for _ in $(seq 50); do
    WID=$(xdotool search --name '^Tolvane$' 2>/dev/null | head -1 || true)
    [ -n "$WID" ] && break
    sleep 0.2
done
[ -n "$WID" ] || { echo "the main window did not appear"; exit 1; }
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$WID")" # X, Y of the window
# The client area starts below the menu bar; find it from the 元ファイル button's row.
MENU=19
click() { xdotool mousemove $((X + $1)) $((Y + MENU + $2)) click 1; sleep 0.4; }
typepath() { sleep 0.8; xdotool key ctrl+a; xdotool type --delay 10 "$1"; xdotool key Return; sleep 0.8; }

click 76 464                  # 元ファイル
typepath "$WORK/src.csv"
# Drag item 3 (価格) and then item 1 (商品コード) onto the output list.
drag() {
    xdotool mousemove $((X + 120)) $((Y + MENU + $1)); sleep 0.2
    xdotool mousedown 1; sleep 0.2
    xdotool mousemove $((X + 130)) $((Y + MENU + $1 + 10)); sleep 0.2
    xdotool mousemove $((X + 240)) $((Y + MENU + 330)); sleep 0.2
    xdotool mousemove $((X + 250)) $((Y + MENU + 340)); sleep 0.3
    xdotool mouseup 1; sleep 0.4
}
drag 315
drag 287
click 156 464                 # 保存
typepath "$WORK/out.csv"
[ -n "$SHOT" ] && import -window root "${SHOT%.png}-before.png"
click 316 464                 # 変換
sleep 1
[ -n "$SHOT" ] && import -window root "$SHOT"
xdotool key Return            # the closing message
sleep 0.5
click 396 464                 # 閉じる
wait $PID || true

EXPECTED=$(printf '\x89\xbf\x8a\x69,\x8f\xa4\x95\x69\x83\x52\x81\x5b\x83\x68\r\n120,A001\r\n80,"B,002"\r\n' | od -An -tx1)
ACTUAL=$(od -An -tx1 "$WORK/out.csv" 2>/dev/null || echo missing)
if [ "$EXPECTED" != "$ACTUAL" ]; then
    echo "output differs"; echo "expected: $EXPECTED"; echo "actual:   $ACTUAL"; exit 1
fi
echo "dragged two columns and converted: output as expected"
