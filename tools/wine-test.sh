#!/bin/sh
# Runs one Windows test program under wine, for ctest. Wine's output goes to a file that
# is printed once wine has ended: wine's background services inherit wine's output and
# would hold ctest's pipe open for some 20 seconds after the test has finished.
# Wine passes no QT_* variable to a Windows program; WINEQT_* arrive as QT_*.
set -u
exe="$1"
shift
log="${exe%.exe}.wine.log"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEQT_QPA_PLATFORM="${WINEQT_QPA_PLATFORM:-offscreen}"
export WINEQT_QPA_FONTDIR="${WINEQT_QPA_FONTDIR:-Z:/usr/share/fonts/opentype/ipafont-gothic}"
wine "$exe" "$@" </dev/null >"$log" 2>&1
status=$?
cat "$log"
exit "$status"
