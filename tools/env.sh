# Shared by run.sh, test.sh, bench.sh and release.sh: installs what is missing,
# builds, and prepares a quiet Wine with code page 932 under build/.
# shellcheck shell=bash

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# ZELVANO_BUILD gives another build folder (its own Wine prefix too), a
# relative one inside the checkout: Wine takes no relative WINEPREFIX.
BUILD="${ZELVANO_BUILD:-build}"
[[ $BUILD == /* ]] || BUILD="$ROOT/$BUILD"

# The closest free font to ＭＳ Ｐゴシック: proportional kana, and like it a
# line as high as the type size (12 pixels at 9 points), so dialogs measured
# in its units come out the size they have on a Japanese Windows.
JAPANESE_UI_FONT="Ume P Gothic"

# Everything the scripts call that a bare Debian 12 lacks, each once; unzip
# too, which zip only recommends.
PACKAGES="cmake make g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
g++-mingw-w64-i686-posix binutils-mingw-w64-i686 googletest wine wine64
xvfb xauth xdotool imagemagick locales fonts-ipafont-gothic fonts-horai-umefont fonts-wine zip unzip python3"

as_root() {
    if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

# The 32-bit program runs on Debian's 32-bit Wine: about 260 MB to fetch and
# 1.1 GB on disk, once. It also brings some 64-bit libraries up to the
# versions of their i386 twins.
PACKAGES_I386="wine32:i386"

# Whether this machine's kernel runs 32-bit x86 code at all: some hosts turn
# IA-32 emulation off, and there the 32-bit Wine cannot start, nor can a
# 32-bit Windows program. Tried with a minimal 32-bit ELF program that only
# exits (exit(0) in 9 bytes after its headers), written by printf as it runs
# before anything is installed; answered once per shell. Only the exec's own
# "Exec format error" means no: any other failure (a noexec or unwritable
# TMPDIR) tells nothing about the kernel, fails under CI and elsewhere leaves
# the 32-bit tests out, saying why.
I386_PROBE='\x7fELF\x01\x01\x01\0\0\0\0\0\0\0\0\0\x02\0\x03\0\x01\0\0\0\x54\x80\x04\x08\x34\0\0\0\0\0\0\0\0\0\0\0'\
'\x34\0\x20\0\x01\0\0\0\0\0\0\0\x01\0\0\0\0\0\0\0\0\x80\x04\x08\0\x80\x04\x08\x5d\0\0\0\x5d\0\0\0\x05\0\0\0\0\x10\0\0'\
'\xb8\x01\0\0\0\x31\xdb\xcd\x80'
host_runs_i386() {
    if [ -z "${ZELVANO_HOST_I386:-}" ]; then
        local probe error=""
        if probe=$(mktemp 2>&1) && error=$(printf "$I386_PROBE" 2>&1 >"$probe" && chmod +x "$probe" 2>&1); then
            if error=$(export LC_ALL=C; "$probe" 2>&1); then
                ZELVANO_HOST_I386=yes
            elif [[ $error == *"Exec format error"* ]]; then
                ZELVANO_HOST_I386=no
            else
                ZELVANO_HOST_I386="the 32-bit probe $probe did not run: $error"
            fi
        else
            ZELVANO_HOST_I386="the 32-bit probe could not be written: ${error:-$probe}"
        fi
        [ ! -f "$probe" ] || rm -f "$probe"
        export ZELVANO_HOST_I386
        case $ZELVANO_HOST_I386 in yes | no) ;; *)
            if under_ci; then
                echo "$ZELVANO_HOST_I386; under CI the 32-bit tests are not left out for that" >&2
                exit 1
            fi
            echo "$ZELVANO_HOST_I386; the 32-bit tests are left out" >&2 ;;
        esac
    fi
    [ "$ZELVANO_HOST_I386" = yes ]
}

# Arguments: packages that only the caller needs, besides those above.
ensure_packages() {
    local missing="" wanted="$PACKAGES $*"
    # wine32 serves nothing where no 32-bit code runs; once there, Debian's
    # wine command would even prefer it to the 64-bit loader.
    if host_runs_i386; then wanted="$wanted $PACKAGES_I386"; fi
    for p in $wanted; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing="$missing $p"
    done
    if [ -n "$missing" ]; then
        case "$missing" in *:i386*)
            dpkg --print-foreign-architectures | grep -qx i386 || as_root dpkg --add-architecture i386 ;;
        esac
        echo "installing:$missing"
        case "$missing" in *wine32*)
            echo "(wine32 alone is about 260 MB to fetch and 1.1 GB on disk: some minutes)" ;;
        esac
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
        -DCMAKE_BUILD_TYPE=Release "${CONFIGURE_OPTIONS[@]}" >/dev/null &&
        cmake --build "$BUILD" -j"$(nproc)" "$@"
}

# The 32-bit build in $BUILD/i686, with its tests; arguments as for build_all.
build_i686() {
    export_commit_time
    cmake -S "$ROOT" -B "$BUILD/i686" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-i686.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DZELVANO_TESTS=ON -DZELVANO_BENCH=OFF "${CONFIGURE_OPTIONS[@]}" >/dev/null &&
        cmake --build "$BUILD/i686" -j"$(nproc)" "$@"
}

# The Wine loader for a program: wine64 for a 64-bit one. With wine32 there,
# `wine` starts a 64-bit program through a 32-bit start.exe in another
# process, and ending the process it gave leaves the program running. A
# 32-bit program needs wine32's loader: Debian's `wine` would fall back to
# wine64, which exits 0 without a word when it cannot start the program.
WINE64=/usr/lib/wine/wine64
WINE32=/usr/lib/wine/wine
wine_for() {
    # The PE header's machine field: 0x8664 for x86-64, 0x14c for i386.
    local at machine
    at=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    machine=$(od -An -tx2 -j$((at + 4)) -N2 "$1" | tr -d ' ')
    if [ "$machine" = 8664 ]; then
        echo "$WINE64"
    elif [ -x "$WINE32" ]; then
        echo "$WINE32"
    else
        echo "$1 is a 32-bit program, and this machine has no 32-bit Wine (wine32:i386) to start it" >&2
        return 1
    fi
}

# Runs a test program (the command $@, its loader first) and fails unless it
# printed GoogleTest's closing line: a loader that could not start it, or a
# program that ended early, may well exit 0 with no output at all.
run_gtest() {
    local status program
    for program in "$@"; do [[ $program != *.exe ]] || break; done
    "$@" 2>&1 | awk '{ print; fflush() } /^\[==========\] [0-9]+ tests? from [0-9]+ test suites? ran\./ { seen = 1 }
        END { exit !seen }'
    status=("${PIPESTATUS[@]}")
    if [ "${status[1]}" != 0 ]; then
        echo "$program: no closing line of GoogleTest (exit ${status[0]}): it did not run to its end" >&2
        [ "${status[0]}" != 0 ] || return 1
    fi
    return "${status[0]}"
}

# A script test's closing line, its last word when all it ran passed: CTest
# passes such a test only when it shows (PASS_REGULAR_EXPRESSION in tests/),
# so one that stopped early without a failing status fails all the same.
script_test_passed() {
    echo "script test passed: $*"
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

# What the suite makes outside the checkout, for tools/clean.sh: the standard
# user's account, with its home and Wine prefix, and the full volumes' mount
# points; each with the lock that its tests hold meanwhile.
STD_ACCOUNT=zelvano-std
STD_LOCK=/tmp/zelvano-std.lock
FULL_VOLUME_DIR=/tmp/zelvano-full
FULL_VOLUME_LOCK=/tmp/zelvano-full.lock

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

# Xvfb of size $1 (1280x1024) on a display that it picks itself: it binds the
# first free one and writes its number to -displayfd, so two runs started at
# once never share one. Sets DISPLAY and XVFB_PID once it answers.
start_xvfb() {
    local out n=""
    out=$(mktemp)
    Xvfb -displayfd 3 -screen 0 "${1:-1280x1024}x24" -nolisten tcp 3>"$out" >"$out.log" 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 200); do
        # The number comes with its newline once the display takes clients.
        read -r n <"$out" && break
        n=""
        kill -0 "$XVFB_PID" 2>/dev/null || break
        sleep 0.05
    done
    if [ -n "$n" ] && DISPLAY=":$n" xdotool getdisplaygeometry >/dev/null 2>&1; then
        export DISPLAY=":$n"
        rm -f "$out" "$out.log"
        return 0
    fi
    echo "Xvfb did not start${n:+ on display :$n}; its last lines:" >&2
    tail -n 5 "$out.log" >&2
    kill "$XVFB_PID" 2>/dev/null || true
    rm -f "$out" "$out.log"
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
    wine_quietly "the settings of the Wine prefix $prefix" \
        "$@" env WINEPREFIX="$prefix" "$WINE64" regedit /S 'C:\zelvano-config.reg' || return 1
    "$@" env WINEPREFIX="$prefix" wineserver -w
    rm -f "$prefix/drive_c/zelvano-config.reg"
    touch "$prefix/.$PREFIX_CONFIG"
}

# Runs Wine's command $2... without a word, unless it fails: then with Wine's
# last lines, saying that $1 could not be made.
wine_quietly() {
    local what=$1 log
    shift
    log=$(mktemp)
    if "$@" >"$log" 2>&1 </dev/null; then
        rm -f "$log"
        return 0
    fi
    echo "$what could not be made; Wine's last lines:" >&2
    tail -n 15 "$log" >&2
    rm -f "$log"
    return 1
}

# The prefix $WINEPREFIX, made anew unless it is ready, with our settings;
# further arguments run Wine otherwise, as for configure_prefix.
make_prefix() {
    if ! prefix_ready "$WINEPREFIX"; then
        echo "making the Wine prefix $WINEPREFIX (some 20 seconds, 1.3 GB)"
        rm -rf "$WINEPREFIX"
        wine_quietly "the Wine prefix $WINEPREFIX" "$@" env WINEPREFIX="$WINEPREFIX" "$WINE64" wineboot -i ||
            return 1
        "$@" env WINEPREFIX="$WINEPREFIX" wineserver -w
        [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ] ||
            { echo "the Wine prefix $WINEPREFIX has no system folder after wineboot" >&2; return 1; }
        touch "$WINEPREFIX/.zelvano-ready-2"
    fi
    configure_prefix "$WINEPREFIX" "$@" || return 1
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
