# Shared by run.sh, test.sh, bench.sh and release.sh: installs what is missing,
# builds, and prepares a quiet Wine with code page 932 under build/.
# shellcheck shell=bash

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# ZELVANO_BUILD gives another build folder (its own Wine prefix too).
BUILD="${ZELVANO_BUILD:-$ROOT/build}"

# The closest free font to ＭＳ Ｐゴシック: proportional kana, and like it a
# line as high as the type size (12 pixels at 9 points), so dialogs measured
# in its units come out the size they have on a Japanese Windows.
JAPANESE_UI_FONT="Ume P Gothic"

PACKAGES="cmake make g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
g++-mingw-w64-i686-posix binutils-mingw-w64-i686 googletest wine wine64
xvfb xauth xdotool imagemagick locales fonts-ipafont-gothic fonts-horai-umefont fonts-wine zip python3"

as_root() {
    if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

# The 32-bit program runs on Debian's 32-bit Wine: about 260 MB to fetch and
# 1.1 GB on disk, once. It also brings some 64-bit libraries up to the
# versions of their i386 twins.
PACKAGES_I386="wine32:i386"

# Whether this machine's kernel runs 32-bit x86 code at all: some hosts turn
# IA-32 emulation off (execve then fails with ENOEXEC), and there the 32-bit
# Wine cannot start, nor can a 32-bit Windows program. Tried with a minimal
# 32-bit ELF program that only exits; answered once per shell.
host_runs_i386() {
    if [ -z "${ZELVANO_HOST_I386:-}" ]; then
        local probe
        probe=$(mktemp)
        python3 - "$probe" <<'PY'
import struct, sys
code = bytes([0xB8, 1, 0, 0, 0, 0x31, 0xDB, 0xCD, 0x80])  # exit(0)
ehdr = struct.pack('<4s5B7x2H5I6H', b'\x7fELF', 1, 1, 1, 0, 0, 2, 3, 1, 0x08048054, 52, 0, 0,
                   52, 32, 1, 0, 0, 0)
phdr = struct.pack('<8I', 1, 0, 0x08048000, 0x08048000, 84 + len(code), 84 + len(code), 5, 0x1000)
open(sys.argv[1], 'wb').write(ehdr + phdr + code)
PY
        chmod +x "$probe"
        if "$probe" 2>/dev/null; then ZELVANO_HOST_I386=yes; else ZELVANO_HOST_I386=no; fi
        rm -f "$probe"
        export ZELVANO_HOST_I386
    fi
    [ "$ZELVANO_HOST_I386" = yes ]
}

# Arguments: packages that only the caller needs, besides those above.
ensure_packages() {
    local missing="" wanted="$PACKAGES $*"
    command -v python3 >/dev/null || wanted="$wanted python3"
    # wine32 serves nothing where no 32-bit code runs; once there, Debian's
    # wine command would even prefer it to the 64-bit loader.
    if command -v python3 >/dev/null && host_runs_i386; then wanted="$wanted $PACKAGES_I386"; fi
    for p in $wanted; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing="$missing $p"
    done
    if [ -n "$missing" ]; then
        case "$missing" in *:i386*)
            dpkg --print-foreign-architectures | grep -qx i386 || as_root dpkg --add-architecture i386 ;;
        esac
        echo "installing:$missing"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
            --no-install-recommends $missing >/dev/null
    fi
    # Without this locale Wine silently falls back to code page 1252.
    if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
        grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null ||
            echo 'ja_JP.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
        as_root locale-gen >/dev/null
    fi
}

# Every time in a build is the commit's: Debian's MinGW-w64 linker writes
# SOURCE_DATE_EPOCH into the PE header instead of the clock's time, and the
# release gives it to the zip's entries. A time set by the caller stays;
# outside a git checkout the linker takes the clock's.
export_commit_time() {
    local t
    [ -z "${SOURCE_DATE_EPOCH:-}" ] || return 0
    t=$(git -C "$ROOT" log -1 --format=%ct 2>/dev/null) || return 0
    export SOURCE_DATE_EPOCH=$t
}

# More options for both builds' configure (test.sh: the tests on, warnings as errors).
CONFIGURE_OPTIONS=()

build_all() {
    export_commit_time
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release "${CONFIGURE_OPTIONS[@]}" >/dev/null
    cmake --build "$BUILD" -j"$(nproc)" "$@"
}

# The 32-bit build in $BUILD/i686, with its tests; arguments as for build_all.
build_i686() {
    export_commit_time
    cmake -S "$ROOT" -B "$BUILD/i686" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-i686.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DZELVANO_TESTS=ON -DZELVANO_BENCH=OFF "${CONFIGURE_OPTIONS[@]}" >/dev/null
    cmake --build "$BUILD/i686" -j"$(nproc)" "$@"
}

# The Wine loader for a program: wine64 for a 64-bit one. With wine32 there,
# `wine` starts a 64-bit program through a 32-bit start.exe in another
# process, and ending the process it gave leaves the program running.
WINE64=/usr/lib/wine/wine64
wine_for() {
    # The PE header's machine field: 0x8664 for x86-64, 0x14c for i386.
    local at machine
    at=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    machine=$(od -An -tx2 -j$((at + 4)) -N2 "$1" | tr -d ' ')
    if [ "$machine" = 8664 ]; then echo "$WINE64"; else echo wine; fi
}

# A prefix made before wine32 was installed starts no program at all, and
# wineboot -u does not mend it: only a new prefix gets the 32-bit half (its
# syswow64 folder is there before, but empty).
prefix_ready() {
    [ -f "$1/.zelvano-ready-2" ] || return 1
    host_runs_i386 || return 0
    [ -f "$1/drive_c/windows/syswow64/kernel32.dll" ]
}

# Wine as a Japanese Windows at 100 %. ZELVANO_LOCALE (C.UTF-8: code page
# 1252, as an English Windows) and ZELVANO_DPI (144: 150 %) make it another,
# each in a prefix of its own beside the first.
wine_env() {
    export WINEPREFIX="$BUILD/wineprefix${ZELVANO_LOCALE:+-$ZELVANO_LOCALE}${ZELVANO_DPI:+-dpi}"
    export WINEARCH=win64
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export LANG=${ZELVANO_LOCALE:-ja_JP.UTF-8} LC_ALL=${ZELVANO_LOCALE:-ja_JP.UTF-8}
    # What the tests check the prefix gives before they run (tests/testkit.h):
    # the code page of the locale asked for, unless the caller says, and the DPI.
    if [ -z "${ZELVANO_SYSTEM_CODEPAGE:-}" ]; then
        case $LANG in
            ja_JP.*) export ZELVANO_SYSTEM_CODEPAGE=932 ;;
            C.*) export ZELVANO_SYSTEM_CODEPAGE=1252 ;;
        esac
    fi
    export ZELVANO_SYSTEM_DPI=${ZELVANO_DPI:-96}
}

# CI=true: a test that cannot set itself up fails instead of being skipped.
under_ci() {
    case ${CI:-} in "" | false | 0) return 1 ;; esac
}

# Ends a test script that cannot set itself up, saying why ($1): a failure
# under CI, elsewhere a skip (77, CTest's SKIP_RETURN_CODE of such tests).
cannot_set_up() {
    if under_ci; then
        echo "$1, and CI gives no way round it" >&2
        exit 1
    fi
    echo "skipped: $1"
    exit 77
}

# Xvfb on a free display from $1 on (77), of size $2 (1280x1024); sets
# DISPLAY and XVFB_PID.
start_xvfb() {
    local n=${1:-77}
    while [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 "${2:-1280x1024}x24" -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 100); do
        [ -e "/tmp/.X11-unix/X$n" ] && return 0
        sleep 0.05
    done
    echo "Xvfb did not start" >&2
    return 1
}

# The settings every prefix of ours gets, applied once per prefix ($1; the
# other wine_env variables as set; further arguments run wine otherwise, as
# another account say): no window manager to wait for, no crash dialog, and
# the fonts a Japanese Windows draws its dialogs with.
PREFIX_CONFIG=zelvano-config-1
configure_prefix() {
    local prefix=$1
    shift
    [ -f "$prefix/.$PREFIX_CONFIG" ] && return 0
    # Debian's Wine does not find its own fonts; the caption buttons' glyphs
    # are Marlett's, and without it they come out as letters.
    mkdir -p "$prefix/drive_c/windows/Fonts"
    ln -sf /usr/share/wine/fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/marlett.ttf"
    # The templates ask for ＭＳ Ｐゴシック, and Wine's captions, menus and
    # message boxes for MS UI Gothic; lacking both, Wine falls back to the
    # fixed-pitch IPAGothic, whose wider kana cut labels short. Managed: with
    # no window manager nobody acknowledges a hidden window, and Wine would
    # wait two seconds for it at every close.
    printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
        '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
        "\"ＭＳ Ｐゴシック\"=\"$JAPANESE_UI_FONT\"" "\"MS UI Gothic\"=\"$JAPANESE_UI_FONT\"" '' \
        '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Decorated"="N"' '"Managed"="N"' '' \
        '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' '"ShowCrashDialog"=dword:00000000' |
        iconv -f UTF-8 -t UTF-16 >"$prefix/drive_c/zelvano-config.reg"
    "$@" env WINEPREFIX="$prefix" "$WINE64" regedit /S 'C:\zelvano-config.reg' >/dev/null 2>&1 </dev/null
    "$@" env WINEPREFIX="$prefix" wineserver -w
    rm -f "$prefix/drive_c/zelvano-config.reg"
    touch "$prefix/.$PREFIX_CONFIG"
}

# The prefix $WINEPREFIX, made anew unless it is ready, with our settings;
# further arguments run Wine otherwise, as for configure_prefix.
make_prefix() {
    if ! prefix_ready "$WINEPREFIX"; then
        rm -rf "$WINEPREFIX"
        "$@" env WINEPREFIX="$WINEPREFIX" "$WINE64" wineboot -i >/dev/null 2>&1 </dev/null
        "$@" env WINEPREFIX="$WINEPREFIX" wineserver -w
        touch "$WINEPREFIX/.zelvano-ready-2"
    fi
    configure_prefix "$WINEPREFIX" "$@"
}

# Prefix creation and one persistent wineserver, warmed up before anything
# reads Wine's output through a pipe (its helpers inherit stdout).
start_wine() {
    wine_env
    make_prefix
    # Exits 2 when a server of this prefix runs already, which serves as well.
    wineserver -p || [ $? = 2 ]
    # Each program takes the DPI from here when it starts.
    [ -z "${ZELVANO_DPI:-}" ] || "$WINE64" reg add 'HKCU\Control Panel\Desktop' /v LogPixels \
        /t REG_DWORD /d "$ZELVANO_DPI" /f >/dev/null 2>&1 </dev/null
    "$WINE64" cmd /c exit >/dev/null 2>&1 </dev/null
}

stop_wine() {
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
}
