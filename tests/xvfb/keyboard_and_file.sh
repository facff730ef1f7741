#!/bin/bash
# A user's session under Xvfb without the mouse: start with the source named on the
# command line, build the columns with the keyboard (Tab, arrows, Enter, Ctrl+Up),
# choose the output through 保存 with Enter, convert with Enter, and check the bytes.
# usage: keyboard_and_file.sh TOLVANE_BINARY [SCREENSHOT.png]
set -euo pipefail
BIN=$(realpath "$1")
SHOT=${2:-}
if [ -z "${TOLVANE_IN_XVFB:-}" ]; then
    exec env TOLVANE_IN_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
unset QT_QPA_PLATFORM
WORK=$(mktemp -d)
export XDG_CONFIG_HOME=$WORK/config
trap 'kill $PID 2>/dev/null || true; rm -rf "$WORK"' EXIT
# 商品コード,品名,価格 / A001,ソフト,120 / "B,002",表ポ,80, in a folder with a space
mkdir "$WORK/売上 データ"
SRC="$WORK/売上 データ/src.csv"
printf '\x8f\xa4\x95\x69\x83\x52\x81\x5b\x83\x68,\x95\x69\x96\xbc,\x89\xbf\x8a\x69\r\nA001,\x83\x5c\x83\x74\x83\x67,120\r\n"B,002",\x95\x5c\x83\x7c,80\r\n' >"$SRC"

# A relative name, as a shell user types it.
(cd "$WORK/売上 データ" && exec "$BIN" src.csv) &
PID=$!
for _ in $(seq 50); do
    WID=$(xdotool search --name '^Tolvane$' 2>/dev/null | head -1 || true)
    [ -n "$WID" ] && break
    sleep 0.2
done
[ -n "$WID" ] || { echo "the main window did not appear"; exit 1; }
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

EXPECTED=$(printf '\x89\xbf\x8a\x69,\x8f\xa4\x95\x69\x83\x52\x81\x5b\x83\x68\r\n120,A001\r\n80,"B,002"\r\n' | od -An -tx1)
ACTUAL=$(od -An -tx1 "$WORK/out.csv" 2>/dev/null || echo missing)
if [ "$EXPECTED" != "$ACTUAL" ]; then
    echo "output differs"; echo "expected: $EXPECTED"; echo "actual:   $ACTUAL"; exit 1
fi
echo "opened from the command line, built the columns with the keyboard, converted: output as expected"
