#!/bin/bash
# The built program as a standard user meets it on Windows: an unprivileged
# account, its own Wine prefix with a read-only Windows directory (Wine then
# refuses writes there with ERROR_ACCESS_DENIED, as Windows does), on a display
# of its own. Runs tests/standard_user_tests.exe of BUILD-DIR there, with the
# programs beside it, 64- or 32-bit. CTest's tests StandardUser.EndToEnd and
# i686.StandardUser.EndToEnd, one at a time (they share the account); skipped
# (77) where neither root nor sudo is at hand, failed under CI.
#   tools/standard_user.sh BUILD-DIR
set -euo pipefail
source "$(dirname "$0")/env.sh"
if [ "$(id -u)" != 0 ]; then
    sudo -n true 2>/dev/null || cannot_set_up "an unprivileged account needs root or sudo"
    # sudo clears the environment; the test program under CI must know it.
    exec sudo -n env CI="${CI:-}" "$0" "$@"
fi
# One run at a time on this machine, whichever build folder or checkout asks:
# the account and its prefix are shared.
exec 9>"$STD_LOCK"
flock 9
BUILD_DIR=$(cd "${1:-$BUILD}" && pwd)
ACCOUNT=$STD_ACCOUNT

id "$ACCOUNT" >/dev/null 2>&1 || useradd -m -s /bin/sh "$ACCOUNT"
HOME_DIR=$(getent passwd "$ACCOUNT" | cut -d: -f6)
mkdir -p "$HOME_DIR"
chown "$ACCOUNT:" "$HOME_DIR"
PREFIX=$HOME_DIR/wineprefix
STAGE=$HOME_DIR/stage
# The account may not be able to read the build folder, nor the current one.
cd "$HOME_DIR"

# The project's Wine settings, for the account's own prefix.
wine_env
WINEPREFIX=$PREFIX
as_account() {
    runuser -u "$ACCOUNT" -- env -i HOME="$HOME_DIR" USER="$ACCOUNT" LOGNAME="$ACCOUNT" \
        PATH=/usr/local/bin:/usr/bin:/bin DISPLAY="$DISPLAY" WINEPREFIX="$WINEPREFIX" WINEARCH="$WINEARCH" \
        WINEDEBUG="$WINEDEBUG" WINEDLLOVERRIDES="$WINEDLLOVERRIDES" LANG="$LANG" LC_ALL="$LC_ALL" CI="${CI:-}" \
        ZELVANO_SYSTEM_CODEPAGE="${ZELVANO_SYSTEM_CODEPAGE:-}" ZELVANO_SYSTEM_DPI="$ZELVANO_SYSTEM_DPI" "$@"
}

start_xvfb
cleanup() {
    as_account wineserver -k >/dev/null 2>&1 || true
    kill "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT

# Wine takes a prefix only from its owner.
[ ! -e "$PREFIX" ] || [ "$(stat -c %U "$PREFIX")" = "$ACCOUNT" ] || rm -rf "$PREFIX"
make_prefix as_account
WINDOWS=$PREFIX/drive_c/windows
chmod -R a-w "$WINDOWS"
rm -rf "$PREFIX/drive_c/users/$ACCOUNT/AppData/Local/VirtualStore" "$STAGE"

mkdir -p "$STAGE/tests"
cp "$BUILD_DIR/zelvano.exe" "$BUILD_DIR/target_app.exe" "$STAGE/"
cp "$BUILD_DIR/tests/standard_user_tests.exe" "$STAGE/tests/"
chown -R "$ACCOUNT:" "$STAGE"
LOADER=$(wine_for "$STAGE/tests/standard_user_tests.exe")
as_account "$LOADER" "$STAGE/tests/standard_user_tests.exe" --prepare
# What an administrator puts in the Windows directory, and a folder the
# account can read but not write in.
install -m 444 "$STAGE"/admin/*.INI "$WINDOWS/"
# Files the account may read but not change though they are not read-only, as
# Windows keeps a standard user out of its folder by permissions alone.
install -m 644 "$STAGE"/admin/open/* "$WINDOWS/"
mkdir -m 555 "$STAGE/locked"

run_gtest as_account "$LOADER" "$STAGE/tests/standard_user_tests.exe"
script_test_passed "the program as a standard user, from $BUILD_DIR"
