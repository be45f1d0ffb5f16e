#!/bin/bash
# Builds the release: build/dist/zelvano-<version>.zip with the 64-bit
# program, a 32-bit build in zelvano-32bit/, the Japanese README, a sample
# profile and the license (for Notepad, see to_notepad), and SHA256SUMS
# beside it for the zip and both programs (copied there as the zip names
# them); then starts both zipped programs on the sample under Wine to see
# that they run.
#
# The bytes depend on the commit alone: every time in them is the commit's,
# and no folder of the machine is kept, so anyone who builds the same commit
# gets the same zip.
#   --no-start  without the start-up under Wine
#   --check     builds the commit twice, in two fresh clones, and compares
set -euo pipefail
source "$(dirname "$0")/tools/env.sh"

MODE=${1:-}
case "$MODE" in
    "" | --no-start | --check) ;;
    *) echo "usage: $0 [--no-start | --check]" >&2; exit 2 ;;
esac

# Two builds of the commit (HEAD) in fresh clones at two paths, the second a
# day and a half later by faketime's clock, in another time zone and with
# another umask, so that a time, folder or permission that slips into the
# bytes shows. Uncommitted changes are no part of it.
if [ "$MODE" = --check ]; then
    ensure_packages faketime
    COMMIT=$(git -C "$ROOT" rev-parse HEAD)
    if [ -n "$(git -C "$ROOT" status --porcelain --untracked-files=no)" ]; then
        echo "release check: uncommitted changes are left out: it builds the commit"
    fi
    echo "release check: commit $COMMIT"
    CHECKS="$BUILD/release-check"
    rm -rf "$CHECKS"
    mkdir -p "$CHECKS"
    # $1: the clone's folder; the rest runs the release there.
    build_clone() {
        local dir=$1
        shift
        # HEAD by name: a detached one (as CI checks out) is on no branch.
        git clone -q --no-checkout "$ROOT" "$dir"
        git -C "$dir" fetch -q "$ROOT" HEAD
        git -C "$dir" checkout -q --detach "$COMMIT"
        echo "release check: building in $dir"
        (cd "$dir" && env -u ZELVANO_BUILD -u SOURCE_DATE_EPOCH "$@" ./release.sh --no-start) \
            >"$dir.log" 2>&1 || { tail -n 20 "$dir.log" >&2; echo "release check: build failed, see $dir.log" >&2; exit 1; }
    }
    build_clone "$CHECKS/one" TZ=UTC
    build_clone "$CHECKS/the-second-clone" TZ=Asia/Tokyo \
        bash -c 'umask 077; exec faketime -f "+36h" "$@"' umask
    VERSION=$(sed -n 's/^#define ZELVANO_FILEVERSION_STR *"\(.*\)"/\1/p' "$CHECKS/one/res/version.h" | sed 's/, */./g')
    differ=0
    for f in zelvano.exe zelvano-32bit/zelvano.exe "zelvano-$VERSION.zip" SHA256SUMS; do
        one="$CHECKS/one/build/dist/$f" two="$CHECKS/the-second-clone/build/dist/$f"
        sha256sum "$one" "$two"
        cmp "$one" "$two" || differ=1
    done
    (cd "$CHECKS/one/build/dist" && stat -c '%n: %s bytes' zelvano.exe zelvano-32bit/zelvano.exe)
    if [ "$differ" = 1 ]; then
        echo "release check: the two builds differ (kept in $CHECKS)" >&2
        exit 1
    fi
    echo "release check: both builds are byte for byte the same"
    rm -rf "$CHECKS"
    exit 0
fi

ensure_packages
# The commit's time, always: a release must not take a time from the caller.
SOURCE_DATE_EPOCH=$(git -C "$ROOT" log -1 --format=%ct) ||
    { echo "release: needs a git checkout, for the commit's time" >&2; exit 1; }
export SOURCE_DATE_EPOCH
[ -z "$(git -C "$ROOT" status --porcelain --untracked-files=no)" ] ||
    echo "release: uncommitted changes, so these bytes are no commit's" >&2
# Linked anew: a program linked before the last commit keeps that one's time.
rm -f "$BUILD/zelvano.exe" "$BUILD/i686/zelvano.exe"
if [ "$MODE" = --no-start ]; then build_all --target zelvano; else build_all; fi

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
    # Wine starts after Xvfb; before it, WINEPREFIX may be none of ours.
    if [ -n "${XVFB_PID:-}" ]; then
        stop_wine
        kill "$XVFB_PID" 2>/dev/null || true
    fi
}
trap cleanup EXIT

mkdir -p "$STAGE/zelvano-32bit" "$BUILD/dist"
cp "$BUILD/zelvano.exe" "$STAGE/zelvano.exe"
cp "$BUILD/i686/zelvano.exe" "$STAGE/zelvano-32bit/zelvano.exe"
to_notepad "$ROOT/dist/README-ja.txt" "$STAGE/README.txt" UTF-8
to_notepad "$ROOT/dist/ZELVANO.INI" "$STAGE/ZELVANO.INI" UTF-16LE
to_notepad "$ROOT/LICENSE" "$STAGE/LICENSE.txt" UTF-8

# Entries in a fixed order, the folder's too, each with the commit's time and
# fixed permissions (the umask differs between machines). zip stores the
# local time, hence UTC; -X leaves out the extra fields with Unix times and
# owners.
ENTRIES="zelvano.exe zelvano-32bit/ zelvano-32bit/zelvano.exe README.txt ZELVANO.INI LICENSE.txt"
chmod 0755 "$STAGE/zelvano-32bit" "$STAGE/zelvano.exe" "$STAGE/zelvano-32bit/zelvano.exe"
chmod 0644 "$STAGE/README.txt" "$STAGE/ZELVANO.INI" "$STAGE/LICENSE.txt"
(cd "$STAGE" && touch -d "@$SOURCE_DATE_EPOCH" $ENTRIES)
ZIP="$BUILD/dist/zelvano-$VERSION.zip"
rm -f "$ZIP"
(cd "$STAGE" && TZ=UTC zip -q -X "$ZIP" $ENTRIES)
unzip -l "$ZIP"

# The checksums of what a user downloads and unpacks, under the names the zip
# gives the programs, so that `sha256sum -c SHA256SUMS` checks them here as
# it does in a folder where the zip was unpacked.
rm -rf "$BUILD/dist/zelvano.exe" "$BUILD/dist/zelvano-32bit"
(cd "$STAGE" && cp -p --parents zelvano.exe zelvano-32bit/zelvano.exe "$BUILD/dist/")
(cd "$BUILD/dist" && sha256sum "zelvano-$VERSION.zip" zelvano.exe zelvano-32bit/zelvano.exe >SHA256SUMS)
cat "$BUILD/dist/SHA256SUMS"
if [ "$MODE" = --no-start ]; then
    echo "release: $ZIP"
    exit 0
fi

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
if host_runs_i386; then
    start_once "$CHECK/zelvano-32bit/zelvano.exe" "$BUILD/dist/started-32bit.png"
else
    echo "NOT RUN: the zipped 32-bit program's start. This machine's kernel runs no 32-bit code." >&2
fi
echo "release: $ZIP"
