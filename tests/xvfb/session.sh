# shellcheck shell=bash disable=SC2034  # BIN, SHOT and the rest are the sourcing script's
# What the Xvfb sessions share; sourced by them with "$0" "$@" still the script's own.
# Re-runs the script on a private X server, makes its folder, and offers the source file,
# the wait for the window and the check of the output.
set -euo pipefail
if [ -z "${TOLVANE_IN_XVFB:-}" ]; then
    exec env TOLVANE_IN_XVFB=1 xvfb-run -a -s "-screen 0 ${XVFB_SCREEN:-1024x768}x24" "$0" "$@"
fi
BIN=$(realpath "$1")
SHOT=${2:-}
unset QT_QPA_PLATFORM
WORK=$(mktemp -d)
# Remembered folders go to the run's own folder, not the user's settings.
export XDG_CONFIG_HOME=$WORK/config
PID=
trap 'kill $PID 2>/dev/null || true; rm -rf "$WORK"' EXIT

# 商品コード,品名,価格 / A001,ソフト,120 / "B,002",表ポ,80
write_source() {
    printf '\x8f\xa4\x95\x69\x83\x52\x81\x5b\x83\x68,\x95\x69\x96\xbc,\x89\xbf\x8a\x69\r\nA001,\x83\x5c\x83\x74\x83\x67,120\r\n"B,002",\x95\x5c\x83\x7c,80\r\n' >"$1"
}

# Sets WID to the main window once it shows.
wait_for_window() {
    WID=
    for _ in $(seq 50); do
        WID=$(xdotool search --name '^Tolvane$' 2>/dev/null | head -1 || true)
        [ -n "$WID" ] && break
        sleep 0.2
    done
    [ -n "$WID" ] || { echo "the main window did not appear"; exit 1; }
}

# The output of columns 3 and 1 (価格, 商品コード), comma-separated.
check_output() {
    local expected actual
    expected=$(printf '\x89\xbf\x8a\x69,\x8f\xa4\x95\x69\x83\x52\x81\x5b\x83\x68\r\n120,A001\r\n80,"B,002"\r\n' | od -An -tx1)
    actual=$(od -An -tx1 "$1" 2>/dev/null || echo missing)
    if [ "$expected" != "$actual" ]; then
        echo "output differs"; echo "expected: $expected"; echo "actual:   $actual"; exit 1
    fi
}
