#!/bin/bash
# Runs a test program of the build under the project's Wine (CTest's
# emulator), with the loader of its bitness; test.sh has prepared the prefix,
# the display and the wineserver. Fails unless the program printed
# GoogleTest's closing line.
source "$(dirname "$0")/env.sh"
prefix=${WINEPREFIX:-}
wine_env
export WINEPREFIX=${prefix:-$WINEPREFIX}
loader=$(wine_for "$1") || exit 1
run_gtest "$loader" "$@"
