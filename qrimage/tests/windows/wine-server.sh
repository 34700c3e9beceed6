#!/usr/bin/env bash
# wine-server.sh start|stop PREFIX: the persistent Wine server of the Windows
# tests (each test's wine then starts in a fraction of a second, and CTest sees
# a test end when its program ends). No display is used.
set -euo pipefail
export WINEPREFIX=$2 WINEDEBUG=-all DISPLAY= WINELOADER=/usr/lib/wine/wine64
case $1 in
  start)
    mkdir -p "$WINEPREFIX"
    wineserver -p </dev/null >/dev/null 2>&1 || true  # one may run already
    # The 64-bit loader makes the prefix: it runs on every kernel.
    [ -f "$WINEPREFIX/system.reg" ] || $WINELOADER wineboot -i </dev/null >"$WINEPREFIX/wineboot.log" 2>&1
    # Wine's background services, started here, hold no test's output open.
    $WINELOADER wineboot </dev/null >/dev/null 2>&1 ;;
  stop)
    wineserver -k 2>/dev/null || true ;;
esac
