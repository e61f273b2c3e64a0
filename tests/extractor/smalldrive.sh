#!/usr/bin/env bash
# A 1 MiB drive R: inside the test run's Wine prefix, for the free-space check:
#   smalldrive.sh start|stop WINEDIR
# Mounting a small tmpfs needs root; without it the start fails and says so.
set -euo pipefail
action=$1
dir=$(realpath -m "$2")
mountpoint=$dir/smalldrive
# shellcheck disable=SC1091
. "$dir/env"
link=$WINEPREFIX/dosdevices/r:
case "$action" in
  start)
    mkdir -p "$mountpoint"
    mountpoint -q "$mountpoint" || mount -t tmpfs -o size=1m orvex-smalldrive "$mountpoint" || {
      echo "cannot mount a small tmpfs at $mountpoint (needs root): the free-space test cannot run" >&2
      exit 1
    }
    ln -sfn "$mountpoint" "$link"
    df -B1 "$mountpoint"
    ;;
  stop)
    rm -f "$link"
    mountpoint -q "$mountpoint" && umount "$mountpoint"
    exit 0
    ;;
esac
