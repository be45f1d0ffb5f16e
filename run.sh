#!/bin/bash
# Builds Zelvano and starts it under Wine. With a DISPLAY it runs on that
# display until closed; without one it runs in Xvfb, prints the report the
# main window shows, saves build/zelvano.png and closes the window.
set -euo pipefail
source "$(dirname "$0")/tools/env.sh"

ensure_packages
build_all --target zelvano --target zelvano_probe

if [ -n "${DISPLAY:-}" ]; then
    start_wine
    trap stop_wine EXIT
    "$WINE64" "$BUILD/zelvano.exe"
    exit 0
fi

start_xvfb
trap 'stop_wine; kill $XVFB_PID 2>/dev/null || true' EXIT
start_wine
"$WINE64" "$BUILD/zelvano.exe" &
ZPID=$!
# The probe waits for the window, prints its report and leaves it open for the screenshot.
"$WINE64" "$BUILD/tools/zelvano_probe.exe" report
import -window root "$BUILD/zelvano.png"
"$WINE64" "$BUILD/tools/zelvano_probe.exe" close
wait $ZPID || true
echo "screenshot: $BUILD/zelvano.png"
