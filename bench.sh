#!/bin/bash
# Builds everything and measures Zelvano against its floor programs under
# Wine in a private Xvfb display; prints the table and writes build/bench.md.
#   ./bench.sh [--reps N]      (default 15; about 30 minutes on 2 cores, most
#                              of it the 1000-target x 1000-child lookup)
set -euo pipefail
source "$(dirname "$0")/tools/env.sh"

ensure_packages
build_all

build_i686 --target zelvano

# The programs as shipped, stripped, and the DLLs the 64-bit one imports.
x86_64-w64-mingw32-strip -o "$BUILD/bench/zelvano-stripped.exe" "$BUILD/zelvano.exe"
i686-w64-mingw32-strip -o "$BUILD/bench/zelvano-32bit-stripped.exe" "$BUILD/i686/zelvano.exe"
DLLS=$(x86_64-w64-mingw32-objdump -p "$BUILD/bench/zelvano-stripped.exe" |
    awk '/DLL Name:/ {print $3}' | sort -u | tr '\n' ' ')

start_xvfb
trap 'stop_wine; kill $XVFB_PID 2>/dev/null || true' EXIT
start_wine

"$WINE64" "$BUILD/bench/bench_driver.exe" --dlls "${DLLS% }" "$@"
echo "written: $BUILD/bench.md"
