#!/bin/bash
# Builds the release: build/dist/zelvano-<version>.zip with the 64-bit
# program, a 32-bit build in zelvano-32bit/, the Japanese README, a sample
# profile and the license (for Notepad, see to_notepad), then starts both
# zipped programs on the sample under Wine to see that they run.
set -euo pipefail
source "$(dirname "$0")/tools/env.sh"

ensure_packages
build_all

build_i686 --target zelvano

# "0, 0, 0, 2" -> 0.0.0.2: one source for the version.
VERSION=$(sed -n 's/^#define ZELVANO_FILEVERSION_STR *"\(.*\)"/\1/p' "$ROOT/res/version.h" | sed 's/, */./g')
[ -n "$VERSION" ] || { echo "no version in res/version.h" >&2; exit 1; }

# Both programs must be what their folder says, and need no DLL of MinGW.
check_exe() {
    local exe=$1 magic=$2 objdump=$3 headers dlls
    headers=$("$objdump" -p "$exe")
    grep -q "^Magic.*($magic)" <<<"$headers" || { echo "$exe is not $magic" >&2; exit 1; }
    dlls=$(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
    [ "$dlls" = "gdi32.dll kernel32.dll msvcrt.dll user32.dll " ] ||
        { echo "$exe imports: $dlls" >&2; exit 1; }
}
check_exe "$BUILD/zelvano.exe" "PE32+" x86_64-w64-mingw32-objdump
check_exe "$BUILD/i686/zelvano.exe" "PE32" i686-w64-mingw32-objdump

# For Notepad on any system locale, where "ANSI" need not be code page 932:
# CR LF and a byte-order mark that names the encoding. The texts in UTF-8;
# the sample list in UTF-16 LE, which Zelvano reads and saves as well, after
# a check that every character has its place in code page 932 (iconv stops at
# a wave dash instead of the fullwidth tilde, say).
to_notepad() {
    local encoding=$3
    sed -e "s/@VERSION@/$VERSION/g" -e 's/\r$//' -e 's/$/\r/' "$1" >"$2.crlf"
    iconv -f UTF-8 -t CP932 "$2.crlf" >/dev/null
    if [ "$encoding" = UTF-16LE ]; then printf '\xFF\xFE'; else printf '\xEF\xBB\xBF'; fi >"$2"
    iconv -f UTF-8 -t "$encoding" "$2.crlf" >>"$2"
    rm "$2.crlf"
}

STAGE=$(mktemp -d)
CHECK=""
STORE=""
cleanup() {
    if [ -n "$STORE" ]; then
        rm -f "$STORE"
        [ ! -e "$STORE.release-backup" ] || mv "$STORE.release-backup" "$STORE"
    fi
    rm -rf "$STAGE" ${CHECK:+"$CHECK"}
    stop_wine
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT

mkdir -p "$STAGE/zelvano-32bit" "$BUILD/dist"
cp "$BUILD/zelvano.exe" "$STAGE/zelvano.exe"
cp "$BUILD/i686/zelvano.exe" "$STAGE/zelvano-32bit/zelvano.exe"
to_notepad "$ROOT/dist/README-ja.txt" "$STAGE/README.txt" UTF-8
to_notepad "$ROOT/dist/ZELVANO.INI" "$STAGE/ZELVANO.INI" UTF-16LE
to_notepad "$ROOT/LICENSE" "$STAGE/LICENSE.txt" UTF-8

ZIP="$BUILD/dist/zelvano-$VERSION.zip"
rm -f "$ZIP"
(cd "$STAGE" && zip -q -X -r "$ZIP" zelvano.exe zelvano-32bit README.txt ZELVANO.INI LICENSE.txt)
unzip -l "$ZIP"

# Start a zipped program once: its window must come up with a report that
# pressed the sample's second entry, and close with OK.
start_once() {
    local exe=$1 zpid report
    "$(wine_for "$exe")" "$exe" &
    zpid=$!
    report=$("$WINE64" "$BUILD/tools/zelvano_probe.exe" report) || { echo "no window: $report" >&2; exit 1; }
    echo "$exe shows: $report"
    grep -Eq '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}に' <<<"$report" &&
        grep -q '^2)"確認"ｳｨﾝﾄﾞの"OK"ボタン' <<<"$report" || { echo "unexpected report" >&2; exit 1; }
    import -window root "$2"
    "$WINE64" "$BUILD/tools/zelvano_probe.exe" close
    wait "$zpid"
}
CHECK=$(mktemp -d)
unzip -q "$ZIP" -d "$CHECK"
start_xvfb
start_wine
# As the README tells a user without administrator rights: the sample list
# copied to the per-user store. Whatever was there is put back afterwards.
STORE="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/VirtualStore/windows/zelvano.INI"
mkdir -p "$(dirname "$STORE")"
[ ! -e "$STORE" ] || mv "$STORE" "$STORE.release-backup"
cp "$CHECK/ZELVANO.INI" "$STORE"
TARGET_LOG="$BUILD/release-target.log"
rm -f "$TARGET_LOG"
"$WINE64" "$BUILD/target_app.exe" "$(winepath -w "$TARGET_LOG")" "W:確認" "B:OK" &
for _ in $(seq 200); do grep -qs ready "$TARGET_LOG" && break; sleep 0.05; done
start_once "$CHECK/zelvano.exe" "$BUILD/dist/started-64bit.png"
start_once "$CHECK/zelvano-32bit/zelvano.exe" "$BUILD/dist/started-32bit.png"
echo "release: $ZIP"
