#!/usr/bin/env bash
# The Wine environment of one test run, kept under a build tree:
#   wine-env.sh start DIR [win32]   creates a fresh prefix in DIR/prefix, starts Xvfb and a
#                                   wineserver; with win32, finds out how 32-bit programs run
#   wine-env.sh stop DIR            stops that wineserver and that Xvfb
# wine-run.sh reads DIR/env to run a program inside it.
#
# 32-bit programs run through Wine's 32-bit loader ($ORVEX_WINE32, /usr/lib/wine/wine by
# default): directly where the kernel runs 32-bit code, else through the user-mode emulator
# ($ORVEX_QEMU_I386, qemu-i386-static by default). ORVEX_WIN32_RUN=direct|emulator tries only
# that way. The way found, or why there is none, is in DIR/win32-mode.
#
# ORVEX_WINE_DPI sets the display scale of the prefix (LogPixels, 96 by default); the
# screen grows with it, so that windows fit as they do at 96.
set -euo pipefail
action=$1
dir=$(realpath -m "$2")
bits=${3:-win64}
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
WINE32=${ORVEX_WINE32:-/usr/lib/wine/wine}
QEMU_I386=${ORVEX_QEMU_I386:-qemu-i386-static}
DPI=${ORVEX_WINE_DPI:-96}

# A 32-bit cmd.exe of the prefix must give back the exit code it was asked for.
runs() { "$@" cmd.exe /c exit 7 </dev/null >/dev/null 2>&1; [ $? -eq 7 ]; }

find_win32_way() {
  local want=${ORVEX_WIN32_RUN:-auto} reasons=()
  if [ "$want" != emulator ]; then
    if runs "$WINE32"; then
      echo "loader|directly through the 32-bit Wine loader $WINE32"
      return
    fi
    reasons+=("the 32-bit Wine loader $WINE32 does not run here")
  fi
  if [ "$want" != direct ]; then
    if ! command -v "$QEMU_I386" >/dev/null; then
      reasons+=("no emulator $QEMU_I386")
    elif runs "$QEMU_I386" "$WINE32"; then
      echo "$QEMU_I386 $WINE32|through the emulator $QEMU_I386 running $WINE32"
      return
    else
      reasons+=("the emulator $QEMU_I386 cannot run $WINE32")
    fi
  fi
  local IFS=';'
  echo "|not at all: ${reasons[*]}"
}

stop() {
  if [ -f "$dir/env" ]; then
    # shellcheck disable=SC1091
    . "$dir/env"
    WINEPREFIX=$WINEPREFIX "$WINESERVER" -k 2>/dev/null || true
    WINEPREFIX=$WINEPREFIX "$WINESERVER" -w 2>/dev/null || true
    [ -n "${HOLDER_PGID:-}" ] && kill -- "-$HOLDER_PGID" 2>/dev/null || true
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
    Xvfb -displayfd 3 -screen 0 $((1280 * DPI / 96))x$((1024 * DPI / 96))x24 -nolisten tcp </dev/null >"$dir/xvfb.log" 2>&1 &
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
    # Wine closes the desktop a moment after its last program ends, and a program that
    # starts while it closes waits 10 s for a new one (or, seen once, for ever). A console
    # program that waits for input all run long keeps the desktop open.
    setsid sh -c "sleep infinity | exec '$WINE64' cmd.exe" </dev/null >/dev/null 2>&1 &
    echo "HOLDER_PGID=$!" >>"$dir/env"
    # Each program takes the scale from the registry when it starts; set once the holder
    # keeps the desktop open, which would close meanwhile.
    [ "$DPI" = 96 ] || "$WINE64" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$DPI" /f \
      </dev/null >/dev/null 2>&1
    if [ "$bits" = win32 ]; then
      way=$(find_win32_way)
      loader=${way%%|*}
      [ "$loader" = loader ] && loader=$WINE32
      echo "export ORVEX_WINE_LOADER='$loader'" >>"$dir/env"
      echo "32-bit Windows programs run ${way#*|}" | tee "$dir/win32-mode"
    fi
    ;;
  stop)
    stop
    ;;
  *)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
