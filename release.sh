#!/bin/bash
# Builds the release: build/dist/zelvano-<version>.zip with the 64-bit
# program, a 32-bit build in zelvano-32bit/, the Japanese README, a sample
# profile and the license (for Notepad, see to_notepad), and SHA256SUMS
# beside it for the zip and both programs (copied there as the zip names
# them); then starts both zipped programs on the sample under Wine to see
# that they run.
#
# The bytes depend on the commit alone: every time in them is the commit's,
# no folder of the machine is kept, the programs are built in a build folder
# made anew and none of the caller's variables reaches the tools, so anyone
# who builds the same commit with the same tools gets the same zip.
# BUILDINFO beside SHA256SUMS names those tools.
#   --no-start  without the start-up under Wine
#   --check     builds the commit twice, in two fresh clones, and compares
set -euo pipefail

# Nothing of the caller's environment reaches CMake, make, the compiler, the
# linker, windres or zip (CFLAGS, CXXFLAGS, CPPFLAGS, LDFLAGS, RCFLAGS,
# MAKEFLAGS, CMAKE_*, CPATH, ZIPOPT, ZIP, LC_ALL, a PATH to other tools...):
# the script runs once more with only what it needs from the machine (HOME,
# a proxy for apt), what the check varies on purpose (the time zone,
# faketime's clock) and the project's own settings.
if [ -z "${ZELVANO_RELEASE_ENV:-}" ]; then
    keep=(ZELVANO_RELEASE_ENV=1 PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C)
    for name in HOME USER LOGNAME TERM TZ TMPDIR CI ZELVANO_BUILD ZELVANO_LOCALE ZELVANO_DPI \
        http_proxy https_proxy no_proxy HTTP_PROXY HTTPS_PROXY NO_PROXY $(compgen -e FAKETIME || true); do
        [ -z "${!name+set}" ] || keep+=("$name=${!name}")
    done
    [[ ${LD_PRELOAD:-} != *libfaketime* ]] || keep+=("LD_PRELOAD=$LD_PRELOAD")
    exec env -i "${keep[@]}" bash "$0" "$@"
fi
# Not for the releases that --check starts: each clears its own environment.
unset ZELVANO_RELEASE_ENV
source "$(dirname "$0")/tools/env.sh"

MODE=${1:-}
case "$MODE" in
    "" | --no-start | --check) ;;
    *) echo "usage: $0 [--no-start | --check]" >&2; exit 2 ;;
esac

# Two builds of the commit (HEAD) in fresh clones at two paths, the second a
# day and a half later by faketime's clock, in another time zone, with
# another umask, with CR LF line ends where git's core.autocrlf makes them
# and with a builder's variables set to noise, so that a time, folder,
# permission, line end or variable that slips into the bytes shows. The
# first also starts its zipped programs, as a plain release does.
# Uncommitted changes are no part of it.
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
    # $1: the clone's folder, $2 its core.autocrlf, $3 release.sh's option; the rest runs the release there.
    build_clone() {
        local dir=$1 autocrlf=$2 option=$3
        shift 3
        # HEAD by name: a detached one (as CI checks out) is on no branch.
        git clone -q --no-checkout -c core.autocrlf="$autocrlf" "$ROOT" "$dir"
        git -C "$dir" fetch -q "$ROOT" HEAD
        git -C "$dir" checkout -q --detach "$COMMIT"
        echo "release check: building in $dir (core.autocrlf=$autocrlf; about 2 minutes${option:+, $option})"
        (cd "$dir" && env -u ZELVANO_BUILD -u SOURCE_DATE_EPOCH "$@" ./release.sh ${option:+"$option"}) \
            >"$dir.log" 2>&1 || { tail -n 20 "$dir.log" >&2; echo "release check: build failed, see $dir.log" >&2; exit 1; }
    }
    build_clone "$CHECKS/one" false "" TZ=UTC
    grep ' shows: ' "$CHECKS/one.log" | sed 's/^/release check: /'
    # What a builder's machine may have set; CXXFLAGS, LDFLAGS, RCFLAGS,
    # MAKEFLAGS, ZIPOPT and SOURCE_DATE_EPOCH as here each change the bytes
    # when they reach the tools.
    NOISE=(CFLAGS=-fno-omit-frame-pointer CXXFLAGS="-fno-omit-frame-pointer -DZELVANO_NOISE"
        CPPFLAGS=-DZELVANO_NOISE LDFLAGS=-Wl,--major-os-version=7 RCFLAGS="-l 0x411"
        MAKEFLAGS="CXX_FLAGS=-O0" CMAKE_BUILD_TYPE=Debug CPATH=/nonexistent ZIPOPT=-9 ZIP=-9
        LC_ALL=ja_JP.UTF-8 SOURCE_DATE_EPOCH=0)
    build_clone "$CHECKS/the-second-clone" true --no-start TZ=Asia/Tokyo "${NOISE[@]}" \
        bash -c 'umask 077; exec faketime -f "+36h" "$@"' umask
    VERSION=$(sed -n 's/^#define ZELVANO_FILEVERSION_STR *"\(.*\)"/\1/p' "$CHECKS/one/res/version.h" | sed 's/, */./g')
    differ=0
    for f in zelvano.exe zelvano-32bit/zelvano.exe "zelvano-$VERSION.zip" SHA256SUMS BUILDINFO; do
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
# A build folder of its own, made anew each time: nothing that an older
# compiler or another folder's cached options made goes into the release.
# With the helpers for the start, which go in no zip.
RELEASE_BUILD=$BUILD/release
rm -rf "$RELEASE_BUILD"
CONFIGURE_OPTIONS=(-DZELVANO_TESTS=OFF)
if [ "$MODE" = --no-start ]; then TARGETS=(--target zelvano); else
    TARGETS=(--target zelvano --target zelvano_probe --target target_app); fi
(BUILD=$RELEASE_BUILD && build_all "${TARGETS[@]}" && build_i686 --target zelvano)

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
check_exe "$RELEASE_BUILD/zelvano.exe" "PE32+" x86_64-w64-mingw32-objdump
check_exe "$RELEASE_BUILD/i686/zelvano.exe" "PE32" i686-w64-mingw32-objdump

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
cp "$RELEASE_BUILD/zelvano.exe" "$STAGE/zelvano.exe"
cp "$RELEASE_BUILD/i686/zelvano.exe" "$STAGE/zelvano-32bit/zelvano.exe"
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
ZIP_FILE="$BUILD/dist/zelvano-$VERSION.zip"
rm -f "$ZIP_FILE"
(cd "$STAGE" && TZ=UTC zip -q -X "$ZIP_FILE" $ENTRIES)
unzip -l "$ZIP_FILE"

# The checksums of what a user downloads and unpacks, under the names the zip
# gives the programs, so that `sha256sum -c SHA256SUMS` checks them here as
# it does in a folder where the zip was unpacked.
rm -rf "$BUILD/dist/zelvano.exe" "$BUILD/dist/zelvano-32bit"
(cd "$STAGE" && cp -p --parents zelvano.exe zelvano-32bit/zelvano.exe "$BUILD/dist/")
(cd "$BUILD/dist" && sha256sum "zelvano-$VERSION.zip" zelvano.exe zelvano-32bit/zelvano.exe >SHA256SUMS)
cat "$BUILD/dist/SHA256SUMS"

# What made these bytes, for whoever builds the commit again to compare: the
# Debian release and the versions of the packages whose tools made them.
{
    echo "# zelvano-$VERSION.zip: the commit built by ./release.sh with these packages gives the bytes of SHA256SUMS"
    echo "commit $(git -C "$ROOT" rev-parse HEAD)$(git -C "$ROOT" diff --quiet HEAD -- || echo ' with uncommitted changes')"
    echo "debian $(cat /etc/debian_version)"
    dpkg-query -W -f='${Package} ${Version}\n' gcc-mingw-w64-base gcc-mingw-w64-x86-64-posix \
        g++-mingw-w64-x86-64-posix gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix mingw-w64-common \
        mingw-w64-x86-64-dev mingw-w64-i686-dev binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 cmake make zip
} >"$BUILD/dist/BUILDINFO"
cat "$BUILD/dist/BUILDINFO"
if [ "$MODE" = --no-start ]; then
    echo "release: $ZIP_FILE"
    exit 0
fi

# Start a zipped program once: its window must come up with a report that
# pressed the sample's second entry, and close with OK.
start_once() {
    local exe=$1 loader zpid report
    loader=$(wine_for "$exe")
    "$loader" "$exe" &
    zpid=$!
    report=$("$WINE64" "$RELEASE_BUILD/tools/zelvano_probe.exe" report) || { echo "no window: $report" >&2; exit 1; }
    echo "$exe shows: $report"
    grep -Eq '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}に' <<<"$report" &&
        grep -q '^2)"確認"ｳｨﾝﾄﾞの"OK"ボタン' <<<"$report" || { echo "unexpected report" >&2; exit 1; }
    import -window root "$2"
    "$WINE64" "$RELEASE_BUILD/tools/zelvano_probe.exe" close
    wait "$zpid"
}
CHECK=$(mktemp -d)
unzip -q "$ZIP_FILE" -d "$CHECK"
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
"$WINE64" "$RELEASE_BUILD/target_app.exe" "$(winepath -w "$TARGET_LOG")" "W:確認" "B:OK" &
for _ in $(seq 200); do grep -qs ready "$TARGET_LOG" && break; sleep 0.05; done
start_once "$CHECK/zelvano.exe" "$BUILD/dist/started-64bit.png"
if host_runs_i386; then
    start_once "$CHECK/zelvano-32bit/zelvano.exe" "$BUILD/dist/started-32bit.png"
else
    echo "NOT RUN: the zipped 32-bit program's start. This machine's kernel runs no 32-bit code." >&2
fi
echo "release: $ZIP_FILE"
