#!/bin/bash
# The program on a system of another code page, as on an English Windows:
# Wine in the locale C.UTF-8 gives code page 1252. In a prefix of its own made
# in that locale, on a display of its own. The tests' own programs carry the
# program's manifest, so they keep code page 932 there, as the program does;
# ZELVANO_SYSTEM_CODEPAGE tells them which one the system gives the others,
# and each of them checks first that the system does.
# CTest's test CodePage.1252.
#   tools/codepage_tests.sh BUILD-DIR
set -euo pipefail
source "$(dirname "$0")/env.sh"
BUILD=$(cd "$1" && pwd)
export ZELVANO_LOCALE=C.UTF-8 ZELVANO_SYSTEM_CODEPAGE=1252

start_xvfb
trap 'stop_wine; kill $XVFB_PID 2>/dev/null || true' EXIT
start_wine

cd "$BUILD"
run_gtest "$WINE64" tests/dialog_tests.exe --gtest_filter='ZelvanoProgram.*'
script_test_passed "the whole program in code page 1252"
