#!/bin/bash
# Builds everything and runs the whole test suite under Wine in a private
# Xvfb display. Installs what is missing first (Debian 12).
set -euo pipefail
source "$(dirname "$0")/tools/env.sh"

ensure_packages
build_all
# The program must stay small (README, Building): code that brings back
# libstdc++'s strings or containers shows here first.
SIZE=$(stat -c %s "$BUILD/zelvano.exe")
[ "$SIZE" -le $((128 * 1024)) ] || { echo "zelvano.exe has $SIZE bytes, more than 128 KB" >&2; exit 1; }
# The 32-bit build must stay warning-free too; it is compiled, not run.
if [ -z "${ZELVANO_SKIP_I686:-}" ]; then
cmake -S "$ROOT" -B "$BUILD/i686" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DZELVANO_TESTS=OFF -DZELVANO_BENCH=OFF >/dev/null
cmake --build "$BUILD/i686" -j"$(nproc)" --target zelvano 2>&1 | tee "$BUILD/i686-build.log" |
    grep -E 'warning|error' && { echo "32-bit build is not clean" >&2; exit 1; } || true
fi

start_xvfb
trap 'stop_wine; kill $XVFB_PID 2>/dev/null || true' EXIT
start_wine

cd "$BUILD"
ctest --output-on-failure -j2 "$@"
