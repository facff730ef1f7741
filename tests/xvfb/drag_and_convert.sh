#!/bin/bash
# A user's session under Xvfb: choose a code page 932 source in the real file dialog,
# drag an item onto 区切文字 (where it must not land), drag two items from the source
# list onto the output list with the mouse, choose the output file, convert, and check
# the output bytes.
# usage: drag_and_convert.sh TOLVANE_BINARY [SCREENSHOT.png]
# shellcheck source=tests/xvfb/session.sh
. "$(dirname "$0")/session.sh"
write_source "$WORK/src.csv"

"$BIN" &
PID=$!
wait_for_window
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$WID")" # X, Y of the window
# The client area starts below the menu bar; find it from the 元ファイル button's row.
MENU=19
click() { xdotool mousemove $((X + $1)) $((Y + MENU + $2)) click 1; sleep 0.4; }
typepath() { sleep 0.8; xdotool key ctrl+a; xdotool type --delay 10 "$1"; xdotool key Return; sleep 0.8; }

click 76 464                  # 元ファイル
typepath "$WORK/src.csv"
# Drag item 3 (価格) and then item 1 (商品コード) onto the output list.
drag() { # source row's y, then where to drop (default: the output list)
    local tx=${2:-250} ty=${3:-340}
    xdotool mousemove $((X + 120)) $((Y + MENU + $1)); sleep 0.2
    xdotool mousedown 1; sleep 0.2
    xdotool mousemove $((X + 130)) $((Y + MENU + $1 + 10)); sleep 0.2
    xdotool mousemove $((X + tx - 10)) $((Y + MENU + ty - 10)); sleep 0.2
    xdotool mousemove $((X + tx)) $((Y + MENU + ty)); sleep 0.3
    xdotool mouseup 1; sleep 0.4
}
# Onto 区切文字: were it taken, the box would read "02;品名" and split nothing.
drag 301 120 81
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

check_output "$WORK/out.csv"
echo "dragged two columns and converted: output as expected"
