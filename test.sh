#!/bin/bash
# Builds everything, 64- and 32-bit, and runs the whole test suite under Wine
# in a private Xvfb display: both builds' tests, the windows at three more
# DPIs, a start on a system of code page 1252 and a standard user's starts.
# Installs what is missing first (Debian 12). ZELVANO_SKIP_I686=1 leaves the
# 32-bit build and its tests out. Arguments go to ctest (-R NAME: one test).
#   ./test.sh --clean   removes what the suite made outside the checkout
set -euo pipefail
source "$(dirname "$0")/tools/env.sh"
[ "${1:-}" != --clean ] || exec "$ROOT/tools/clean.sh"

ensure_packages
# Both programs must stay small (README, Building): code that brings back
# libstdc++'s strings, containers or exceptions shows here first. And GDI's A
# text functions take the system's code page, not the one the manifest gives
# the program: it must draw no text through them, which only an import table
# that was read can show.
check_program() {
    local size headers texts
    size=$(stat -c %s "$1")
    [ "$size" -le $((72 * 1024)) ] || { echo "$1 has $size bytes, more than 72 KB" >&2; exit 1; }
    headers=$(x86_64-w64-mingw32-objdump -p "$1") || { echo "objdump cannot read $1" >&2; exit 1; }
    grep -qi 'DLL Name: gdi32.dll' <<<"$headers" || { echo "$1: no import of gdi32.dll read" >&2; exit 1; }
    texts=$(grep -Eow '(Ext|Tabbed|Poly)?TextOutA|DrawText(Ex)?A|GrayStringA|DrawStateA' <<<"$headers" || true)
    [ -z "$texts" ] || { echo "$1 draws text in the system's code page: $texts" >&2; exit 1; }
}
# Both builds with their tests, whatever a build folder's cache says, and any
# warning in the program's own code an error: a build that is up to date
# compiled without one.
CONFIGURE_OPTIONS=(-DZELVANO_TESTS=ON -DZELVANO_WERROR=ON)
if under_ci && [ -n "${ZELVANO_SKIP_I686:-}" ]; then
    echo "ZELVANO_SKIP_I686 under CI: the 32-bit tests would not run" >&2
    exit 1
fi
# The 32-bit build first, so that the 64-bit one's tests find its programs;
# the program itself must build without a warning, CMake's included, and is
# linked anew, so that the one checked is never an older build's. Where the
# kernel runs no 32-bit code, the 32-bit program is built and checked but its
# tests cannot run: said at the end, loudly, never passed over.
I686_RUN=ON
if [ -n "${ZELVANO_SKIP_I686:-}" ] || ! host_runs_i386; then I686_RUN=OFF; fi
if [ -z "${ZELVANO_SKIP_I686:-}" ]; then
    mkdir -p "$BUILD"
    rm -f "$BUILD/i686/zelvano.exe"
    build_i686 --target zelvano >"$BUILD/i686-build.log" 2>&1 ||
        { tail -n 30 "$BUILD/i686-build.log" >&2; echo "the 32-bit build failed" >&2; exit 1; }
    if grep -E 'warning|error' "$BUILD/i686-build.log"; then echo "32-bit build is not clean" >&2; exit 1; fi
    [ "$I686_RUN" = OFF ] || build_i686
    check_program "$BUILD/i686/zelvano.exe"
else
    rm -rf "$BUILD/i686/tests"
fi
CONFIGURE_OPTIONS+=(-DZELVANO_I686_RUN=$I686_RUN)
build_all
check_program "$BUILD/zelvano.exe"
if [ "$I686_RUN" = ON ] && [[ $(ctest --test-dir "$BUILD" -N) != *" i686."* ]]; then
    echo "the 32-bit tests are not registered: no 32-bit test programs in $BUILD/i686" >&2
    exit 1
fi

start_xvfb
trap 'stop_wine; kill $XVFB_PID 2>/dev/null || true' EXIT
start_wine

cd "$BUILD"
status=0
# Each test program fails when its filter matched no test (tests/testkit.h).
ctest --output-on-failure --no-tests=error -j2 "$@" || status=$?
# Every test that ran and skipped, by GTEST_SKIP or as a script that could not
# set itself up (tools/env.sh, cannot_set_up), from the output of each.
awk '/^[0-9]+\/[0-9]+ Test: / { sub(/^[0-9]+\/[0-9]+ Test: /, ""); test = $0 }
    { sub(/\r$/, "") }
    /^\[  SKIPPED \] [^ ]+$/ { name = substr($0, 14)
        print "NOT RUN: " (name == test ? name : test ": " name) " (GTEST_SKIP)" }
    /^skipped: / { print "NOT RUN: " test ": " substr($0, 10) }' Testing/Temporary/LastTest.log >&2
if [ -n "${ZELVANO_SKIP_I686:-}" ]; then
    echo "NOT RUN: the 32-bit build and its tests (i686.*): ZELVANO_SKIP_I686 is set." >&2
elif [ "$I686_RUN" = OFF ] && [ "$ZELVANO_HOST_I386" = no ]; then
    echo "NOT RUN: the 32-bit tests (i686.*). This machine's kernel runs no 32-bit code" \
        "(IA-32 emulation off), so neither the 32-bit Wine nor a 32-bit program can start here;" \
        "the 32-bit program was built and checked only." >&2
elif [ "$I686_RUN" = OFF ]; then
    echo "NOT RUN: the 32-bit tests (i686.*): $ZELVANO_HOST_I386; the 32-bit program was built and" \
        "checked only." >&2
fi
exit $status
