#!/usr/bin/env bash
# The Wine environment of one test run, kept under a build tree:
#   wine-env.sh start DIR   creates a fresh prefix in DIR/prefix, starts Xvfb and a wineserver
#   wine-env.sh stop DIR    stops that wineserver and that Xvfb
# wine-run.sh reads DIR/env to run a program inside it.
set -euo pipefail
action=$1
dir=$(realpath -m "$2")
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

stop() {
  if [ -f "$dir/env" ]; then
    # shellcheck disable=SC1091
    . "$dir/env"
    WINEPREFIX=$WINEPREFIX "$WINESERVER" -k 2>/dev/null || true
    WINEPREFIX=$WINEPREFIX "$WINESERVER" -w 2>/dev/null || true
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
    rm -f "$dir/env"
  fi
}

case "$action" in
  start)
    stop
    rm -rf "$dir/prefix"
    mkdir -p "$dir"
    # Xvfb picks a free display and tells us which on descriptor 3.
    exec 3>"$dir/display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp </dev/null >"$dir/xvfb.log" 2>&1 &
    xvfb_pid=$!
    exec 3>&-
    for _ in $(seq 100); do [ -s "$dir/display" ] && break; sleep 0.1; done
    display=:$(head -n1 "$dir/display")
    cat >"$dir/env" <<ENV
export WINEPREFIX='$dir/prefix'
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml,winemenubuilder.exe='
export DISPLAY='$display'
export LC_ALL=\${ORVEX_TEST_LOCALE:-C.UTF-8}
XVFB_PID=$xvfb_pid
ENV
    # shellcheck disable=SC1091
    . "$dir/env"
    mkdir -p "$WINEPREFIX"
    # One server for the whole run; `stop` ends it.
    "$WINESERVER" -p </dev/null >"$dir/wineserver.log" 2>&1
    "$WINE64" wineboot -i </dev/null >"$dir/wineboot.log" 2>&1
    ;;
  stop)
    stop
    ;;
  *)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
