#!/bin/bash
# A user's session under Xvfb without the mouse: start with the source named on the
# command line, build the columns with the keyboard (Tab, arrows, Enter, Ctrl+Up),
# choose the output through 保存 with Enter, convert with Enter, and check the bytes.
# usage: keyboard_and_file.sh TOLVANE_BINARY [SCREENSHOT.png]
# shellcheck source=tests/xvfb/session.sh
. "$(dirname "$0")/session.sh"
# In a folder with a Japanese name and a space.
mkdir "$WORK/売上 データ"
write_source "$WORK/売上 データ/src.csv"

# A relative name, as a shell user types it.
(cd "$WORK/売上 データ" && exec "$BIN" src.csv) &
PID=$!
wait_for_window
sleep 0.8
xdotool windowfocus --sync "$WID"
key() { xdotool key --delay 80 "$@"; sleep 0.3; }

key Tab Tab Tab               # 区切文字 → カンマ → 先頭行 → 元データ
key Home Return               # 01;商品コード
key End Return                # 03;価格
key Tab End ctrl+Up           # 出力データ: 価格 first
[ -n "$SHOT" ] && import -window root "${SHOT%.png}-columns.png"
key Tab Tab Return            # 元ファイル → 保存
sleep 0.8
xdotool key ctrl+a; xdotool type --delay 10 "$WORK/out.csv"; xdotool key Return; sleep 0.8
# Without a window manager nobody gives the focus back to the window after a dialog.
xdotool windowfocus --sync "$WID"
[ -n "$SHOT" ] && import -window root "${SHOT%.png}-saved.png"
key Tab Tab Return            # 検出 → 変換
sleep 1
[ -n "$SHOT" ] && import -window root "$SHOT"
key Return                    # the closing message
xdotool windowfocus --sync "$WID"
key Tab Return                # 閉じる
wait $PID || true

check_output "$WORK/out.csv"
echo "opened from the command line, built the columns with the keyboard, converted: output as expected"
