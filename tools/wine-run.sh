#!/bin/bash
# Runs a Windows program of the build under the project's Wine (CTest's
# emulator), with the loader of its bitness; test.sh has prepared the prefix,
# the display and the wineserver.
source "$(dirname "$0")/env.sh"
: "${WINEPREFIX:=$BUILD/wineprefix}"
export WINEPREFIX WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
exec "$(wine_for "$1")" "$@"
