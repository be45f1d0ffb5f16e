#!/bin/bash
# The windows, their drawing and the picker as Windows shows our DPI-aware
# program at 125, 150 or 200 %: the tests of the dialogs (all but the whole
# program's), of the background and of the picker at DPI $2. In a prefix of
# their own, as Wine takes the DPI from it when a program starts and the other
# tests must keep 96, and on a display of their own, twice the usual size for
# the dialogs at twice theirs. CTest's tests Dpi.120, Dpi.144 and Dpi.192; each
# test program checks first that the screen has the DPI asked for.
#   tools/dpi_tests.sh BUILD-DIR DPI
set -euo pipefail
source "$(dirname "$0")/env.sh"
BUILD=$(cd "$1" && pwd)
export ZELVANO_DPI=$2

start_xvfb 2560x2048
trap 'stop_wine; kill $XVFB_PID 2>/dev/null || true' EXIT
start_wine

cd "$BUILD"
status=0
for run in "dialog_tests -ZelvanoProgram.*" "tiled_background_tests *" "window_picker_tests *"; do
    read -r program filter <<<"$run"
    echo "== $program at $ZELVANO_DPI DPI"
    run_gtest "$WINE64" "tests/$program.exe" --gtest_filter="$filter" || status=1
done
[ "$status" = 0 ] || exit 1
script_test_passed "the dialogs, the background and the picker at $ZELVANO_DPI DPI"
