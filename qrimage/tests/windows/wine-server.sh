#!/usr/bin/env bash
# Starts or stops the persistent Wine server of the Windows tests.
#   wine-server.sh start PREFIX   creates the prefix once, starts the server
#   wine-server.sh stop PREFIX    stops the server
# A persistent server makes each test's wine start in a fraction of a second
# and lets CTest see a test end when its program ends. No display is used.
set -euo pipefail
export WINEPREFIX=$2 WINEDEBUG=-all DISPLAY=
case $1 in
  start)
    mkdir -p "$WINEPREFIX"
    wineserver -p </dev/null >/dev/null 2>&1 || true  # one may run already
    # The 64-bit loader makes the prefix: it runs on every kernel.
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 wineboot -i </dev/null \
        >"$WINEPREFIX/wineboot.log" 2>&1
    fi
    # Wine's background services start with the first program and live as
    # long as the server: started here, they hold no test's output open.
    WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1 ;;
  stop)
    wineserver -k 2>/dev/null || true ;;
esac
