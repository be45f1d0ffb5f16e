#!/bin/bash
# Runs a Windows program of the build under the project's Wine (CTest's
# emulator), with the loader of its bitness; test.sh has prepared the prefix,
# the display and the wineserver.
source "$(dirname "$0")/env.sh"
prefix=${WINEPREFIX:-}
wine_env
export WINEPREFIX=${prefix:-$WINEPREFIX}
exec "$(wine_for "$1")" "$@"
