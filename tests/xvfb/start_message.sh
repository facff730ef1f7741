#!/bin/bash
# With a window manager, which places the window only after it is mapped: a source named
# on the command line that cannot be opened gets its message over the window, not at the
# screen's corner where Qt took the window to stand before it was placed.
# usage: start_message.sh TOLVANE_BINARY [SCREENSHOT.png]
export XVFB_SCREEN=1280x1024
# shellcheck source=tests/xvfb/session.sh
. "$(dirname "$0")/session.sh"
openbox --config-file /dev/null >/dev/null 2>&1 &
WM=$!
trap 'kill $PID $WM 2>/dev/null || true; rm -rf "$WORK"' EXIT
sleep 0.5
"$BIN" "$WORK/missing.csv" &
PID=$!
BOX=
for _ in $(seq 50); do
    sleep 0.2
    WINDOWS=$(xdotool search --onlyvisible --name '^Tolvane$' 2>/dev/null || true)
    [ "$(echo "$WINDOWS" | grep -c .)" -ge 2 ] && break
done
[ -n "$SHOT" ] && import -window root "$SHOT"
# The taller of the two is the main window, the other the message.
read -r MAIN BOX < <(for w in $WINDOWS; do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    echo "$HEIGHT $w"
done | sort -rn | awk '{printf "%s ", $2} END {print ""}')
[ -n "$BOX" ] || { echo "no message appeared beside the window"; exit 1; }
centre() { eval "$(xdotool getwindowgeometry --shell "$1")"; echo $((X + WIDTH / 2)) $((Y + HEIGHT / 2)); }
read -r MX MY < <(centre "$MAIN")
read -r BX BY < <(centre "$BOX")
DX=$((MX - BX)); DY=$((MY - BY))
if [ "${DX#-}" -gt 40 ] || [ "${DY#-}" -gt 40 ]; then
    echo "the message is centred at $BX,$BY, the window at $MX,$MY"
    exit 1
fi
echo "the message stands over the window: centred at $BX,$BY, the window at $MX,$MY"
