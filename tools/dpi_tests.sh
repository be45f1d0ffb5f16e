#!/bin/bash
# The windows, their drawing and the picker as Windows shows our DPI-aware
# program at 125, 150 or 200 %: the tests of the dialogs (all but the whole
# program's), of the background and of the picker at DPI $2. In a prefix of
# their own, as Wine takes the DPI from it when a program starts and the other
# tests must keep 96, and on a display of their own, twice the usual size for
# the dialogs at twice theirs. CTest's tests Dpi.120, Dpi.144 and Dpi.192.
#   tools/dpi_tests.sh BUILD-DIR DPI
set -euo pipefail
source "$(dirname "$0")/env.sh"
BUILD_DIR=$(cd "$1" && pwd)
DPI=$2

wine_env
export WINEPREFIX=$BUILD_DIR/wineprefix-dpi ZELVANO_DPI=$DPI
make_prefix
start_xvfb 83 2560x2048
trap 'stop_wine; kill $XVFB_PID 2>/dev/null || true' EXIT
wineserver -p || [ $? = 2 ]
"$WINE64" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$DPI" /f >/dev/null 2>&1 </dev/null

cd "$BUILD_DIR"
status=0
for run in "dialog_tests -ZelvanoProgram.*" "tiled_background_tests *" "window_picker_tests *"; do
    read -r program filter <<<"$run"
    echo "== $program at $DPI DPI"
    "$WINE64" "tests/$program.exe" --gtest_filter="$filter" || status=1
done
exit $status
