#!/bin/sh
# Runs a Windows program of the build under the project's Wine (CTest's
# emulator); test.sh has prepared the prefix, the display and the wineserver.
ROOT=$(cd "$(dirname "$0")/.." && pwd)
: "${WINEPREFIX:=$ROOT/build/wineprefix}"
export WINEPREFIX WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
exec wine "$@"
