#!/bin/bash
# Twice the scale on a 1280x1024 screen: the laid-out window would be taller than the
# screen, so the lists give up rows and the whole window, buttons included, stays on it.
# usage: low_screen.sh TOLVANE_BINARY [SCREENSHOT.png]
export XVFB_SCREEN=1280x1024
# shellcheck source=tests/xvfb/session.sh
. "$(dirname "$0")/session.sh"
write_source "$WORK/src.csv"
QT_SCALE_FACTOR=2 "$BIN" "$WORK/src.csv" &
PID=$!
wait_for_window
sleep 0.8
[ -n "$SHOT" ] && import -window root "$SHOT"
eval "$(xdotool getwindowgeometry --shell "$WID")"
kill $PID
if [ "$((Y + HEIGHT))" -gt 1024 ]; then
    echo "the window reaches down to $((Y + HEIGHT)), below the screen's 1024"
    exit 1
fi
echo "the window fits the screen: ${WIDTH}x${HEIGHT} at $X,$Y"
