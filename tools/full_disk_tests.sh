#!/bin/bash
# The per-user store on a full volume: a tmpfs of three 4 KB pages mounted for
# the run, on which tests/full_disk_tests.exe of BUILD-DIR puts the store and
# fills the volume itself. Mounting needs root (or sudo) and a system that
# lets root mount (a container may not); without it the test cannot run,
# which fails under CI and is a skip (77) elsewhere. CTest's test
# FullDisk.Store.
#   tools/full_disk_tests.sh BUILD-DIR
set -euo pipefail
source "$(dirname "$0")/env.sh"
BUILD_DIR=$(cd "$1" && pwd)
[ "$(id -u)" = 0 ] || sudo -n true 2>/dev/null || cannot_set_up "mounting a full volume needs root or sudo"

# Held while the volume is mounted: tools/clean.sh takes the lock whole
# before it unmounts what a killed run left.
exec 8>"$FULL_VOLUME_LOCK"
flock -s 8
VOLUME=$(mktemp -d "$FULL_VOLUME_DIR.XXXXXX")
if ! error=$(as_root mount -t tmpfs -o "size=12k,uid=$(id -u),gid=$(id -g),mode=0755" zelvano-full "$VOLUME" 2>&1)
then
    rmdir "$VOLUME"
    cannot_set_up "mounting a tmpfs for a full volume was refused (${error%%$'\n'*})"
fi
trap 'as_root umount "$VOLUME"; rmdir "$VOLUME"' EXIT
# Wine's drive Z: is the Unix root.
export ZELVANO_FULL_VOLUME="Z:${VOLUME//\//\\}"
"$(dirname "$0")/wine-run.sh" "$BUILD_DIR/tests/full_disk_tests.exe"
script_test_passed "the per-user store on a full volume"
