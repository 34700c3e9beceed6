#!/usr/bin/env bash
# wine-server.sh start|stop PREFIX: the persistent Wine server of the Windows
# tests (each test's wine then starts in a fraction of a second, and CTest sees
# a test end when its program ends). No display is used.
set -euo pipefail
export WINEPREFIX=$2 WINEDEBUG=-all DISPLAY= WINELOADER=/usr/lib/wine/wine64
run32=$(cd "$(dirname "$0")/../../../scripts" && pwd)/run32
case $1 in
  start)
    mkdir -p "$WINEPREFIX"
    wineserver -p </dev/null >/dev/null 2>&1 || true  # one may run already
    # One prefix for both bitnesses, made once: the 64-bit wineboot sets up
    # the 32-bit half with 32-bit programs, so it runs where those start
    # (emulated, that takes minutes); where none can, the 64-bit half alone.
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      status=0
      "$run32" $WINELOADER wineboot -i </dev/null >"$WINEPREFIX/wineboot.log" 2>&1 || status=$?
      if [ "$status" = 77 ]; then
        $WINELOADER wineboot -i </dev/null >>"$WINEPREFIX/wineboot.log" 2>&1
      elif [ "$status" != 0 ]; then
        cat "$WINEPREFIX/wineboot.log"
        exit "$status"
      fi
    fi
    # Wine's background services, started here, hold no test's output open.
    $WINELOADER wineboot </dev/null >/dev/null 2>&1 ;;
  stop)
    wineserver -k 2>/dev/null || true ;;
esac
