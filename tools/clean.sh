#!/bin/bash
# Removes what the test suite made outside the checkout (./test.sh --clean):
# the standard user's account with its home and Wine prefix, and the full
# volumes that a killed run left mounted. It waits for the tests of either
# kind that are running, whichever checkout started them (the locks they
# hold), so run it when nobody tests on this machine. Build folders, with the
# other Wine prefixes, are the checkout's own: `rm -rf build`.
set -euo pipefail
source "$(dirname "$0")/env.sh"
if [ "$(id -u)" != 0 ]; then
    exec sudo -n "$0" "$@"
fi

echo "waiting for a standard user's test that runs, if any ($STD_LOCK)"
exec 9>"$STD_LOCK"
flock 9
if id "$STD_ACCOUNT" >/dev/null 2>&1; then
    home=$(getent passwd "$STD_ACCOUNT" | cut -d: -f6)
    # Its wineserver outlives a killed test, and userdel refuses an account in use.
    runuser -u "$STD_ACCOUNT" -- env WINEPREFIX="$home/wineprefix" wineserver -k >/dev/null 2>&1 || true
    userdel -r "$STD_ACCOUNT" || true
    if id "$STD_ACCOUNT" >/dev/null 2>&1; then
        echo "the account $STD_ACCOUNT could not be removed" >&2
        exit 1
    fi
    echo "removed the account $STD_ACCOUNT and its home $home"
else
    echo "no account $STD_ACCOUNT"
fi

echo "waiting for a full-volume test that runs, if any ($FULL_VOLUME_LOCK)"
exec 8>"$FULL_VOLUME_LOCK"
flock 8
left=0
for dir in "$FULL_VOLUME_DIR".*; do
    [ -d "$dir" ] || continue
    if mountpoint -q "$dir"; then
        umount "$dir"
        echo "unmounted the full volume $dir"
    fi
    rmdir "$dir"
    left=$((left + 1))
done
echo "full volumes' mount points removed: $left"
