#!/bin/bash
# Shows one start of Zelvano pressing a button: a test window "Zelvano デモ"
# with a button "押してね" is listed in the real profile, Zelvano starts,
# presses it and reports it. Prints the report and the button's log, saves
# build/demo.png and closes everything. Without a DISPLAY it runs in Xvfb.
set -euo pipefail
source "$(dirname "$0")/tools/env.sh"

ensure_packages
build_all --target zelvano --target target_app --target zelvano_probe

PROFILE='' ORIGINAL=''
LOG="$BUILD/demo-target.log"
cleanup() {
    stop_wine
    if [ -n "${XVFB_PID:-}" ]; then kill "$XVFB_PID" 2>/dev/null || true; fi
    # Put back whatever profile was there before.
    if [ -n "$PROFILE" ]; then rm -f "$PROFILE"; fi
    if [ -n "$ORIGINAL" ]; then mv "$ORIGINAL.demo-backup" "$ORIGINAL"; fi
    rm -f "$LOG"
}
trap cleanup EXIT

[ -n "${DISPLAY:-}" ] || start_xvfb
start_wine

# The profile is named after the executable and lives in the Windows directory.
# Wine finds it whatever the case of its name.
ORIGINAL=$(find "$WINEPREFIX/drive_c/windows" -maxdepth 1 -iname zelvano.ini | head -n 1)
if [ -n "$ORIGINAL" ]; then mv "$ORIGINAL" "$ORIGINAL.demo-backup"; fi
PROFILE="$WINEPREFIX/drive_c/windows/zelvano.INI"
printf '[BUTTON]\r\nBTN1=Zelvano デモ,押してね\r\n' | iconv -f UTF-8 -t CP932 >"$PROFILE"

rm -f "$LOG"
"$WINE64" "$BUILD/target_app.exe" "$(winepath -w "$LOG")" "W:Zelvano デモ" "B:押してね" &
for _ in $(seq 200); do grep -qs ready "$LOG" && break; sleep 0.05; done
grep -qs ready "$LOG" || { echo "the demo window did not appear" >&2; exit 1; }

"$WINE64" "$BUILD/zelvano.exe" &
echo "--- Zelvano's report"
# Waits for the main window and prints its report.
"$WINE64" "$BUILD/tools/zelvano_probe.exe" report
for _ in $(seq 200); do [ "$(grep -c BUTTON "$LOG")" -ge 3 ] && break; sleep 0.05; done
echo "--- what the button \"押してね\" received (button, message, wParam, lParam, time)"
grep -v '^ready$' "$LOG"

import -window root "$BUILD/demo.png"
echo "--- screenshot: $BUILD/demo.png"
"$WINE64" "$BUILD/tools/zelvano_probe.exe" close
