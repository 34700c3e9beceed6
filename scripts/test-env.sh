# The window and system tests' desktop, all under $TEST_ENV_DIR: a private Xvfb, a private
# CUPS whose default queue writes PDFs, a stand-in image viewer and XDG folders.
# Source it from bash, then: test_env_start; ...; test_env_stop.

TEST_ENV_DIR=${TEST_ENV_DIR:-$(mktemp -d "${TMPDIR:-/tmp}/qrimage-test-env.XXXXXX")}
export TEST_ENV_DIR
export TEST_PDF_DIR=$TEST_ENV_DIR/pdf
export TEST_PRINTER=QRIMAGE_TEST_PDF
# A second PDF queue, not the default, with hardware margins.
export TEST_MARGIN_PRINTER=QRIMAGE_TEST_MARGINS
export TEST_MARGIN_PDF_DIR=$TEST_ENV_DIR/pdf-margins
# The paths the stand-in image viewer is asked to open, one a line.
export TEST_VIEWER_LOG=$TEST_ENV_DIR/xdg/opened.log

test_env_fail() { echo "test-env: $*" >&2; return 1; }

# Runs command $2... every 0.1 s until it succeeds, for $1 seconds at most.
test_env_wait() {
  local tries=$(($1 * 10))
  shift
  for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.1; done
  "$@"
}

# Whether the QR code picture $1 reads back with zbar as exactly $2.
test_env_decodes() { [ "$(zbarimg -q --raw -Sbinary "$1" 2>/dev/null)" = "$2" ]; }

# The id of the window of process $1 titled exactly $2 (xdotool's name search misses Cyrillic
# in the C locale). Polled gently: a burst of X connections can refuse the program's own.
test_env_find_window() {
  local id
  for _ in $(seq 40); do
    sleep 0.3
    for id in $(xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
      [ "$(xdotool getwindowname "$id" 2>/dev/null)" != "$2" ] || { echo "$id"; return 0; }
    done
  done
  test_env_fail "no window titled '$2' of process $1 appeared within 12 s"
}

# Types $3 into the Qt window of process $1, presses Enter; picture $2 must read back as $3.
test_env_create() {
  local window
  window=$(test_env_find_window "$1" 'QR генератор') || return 1
  # No window manager: focus the window ourselves before the first key.
  xdotool windowfocus --sync "$window" mousemove --window "$window" 148 161 click 1
  xdotool type --delay 100 "$3"
  xdotool key Return
  test_env_wait 10 test_env_decodes "$2" "$3" || test_env_fail "$2 is missing or does not read back as '$3'"
}

test_env_start_xvfb() {
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$TEST_ENV_DIR/display" \
    >"$TEST_ENV_DIR/xvfb.log" 2>&1 &
  echo $! >"$TEST_ENV_DIR/xvfb.pid"
  test_env_wait 10 test -s "$TEST_ENV_DIR/display" \
    || { cat "$TEST_ENV_DIR/xvfb.log" >&2; test_env_fail "Xvfb did not start"; return 1; }
  DISPLAY=:$(tr -d '\n' <"$TEST_ENV_DIR/display")
  export DISPLAY
}

# cupsd on a unix socket named by CUPS_SERVER (CUPS_SERVERROOT: no client reads the machine's
# client.conf or lpoptions). cups-pdf reads /etc/cups/cups-pdf-NAME.conf only: cupsd runs
# in a mount namespace of its own with a folder of ours over /etc/cups.
test_env_start_cups() {
  local cups=$TEST_ENV_DIR/cups
  mkdir -p "$cups"/{conf,spool/tmp,cache,state,log,etc,pdf-spool,pdf-log,gs-tmp}
  chmod 0755 "$TEST_ENV_DIR" "$cups"
  chmod 1777 "$cups/gs-tmp"
  printf 'Listen %s\nLogLevel warn\nBrowsing No\nWebInterface No\nDefaultAuthType None\n' \
    "$cups/cups.sock" >"$cups/conf/cupsd.conf"
  local setting  # SETTING=PATH under $cups
  for setting in ServerRoot=conf RequestRoot=spool TempDir=spool/tmp CacheDir=cache StateDir=state \
    ServerKeychain=conf/ssl AccessLog=log/access_log ErrorLog=log/error_log PageLog=log/page_log; do
    echo "${setting%%=*} $cups/${setting#*=}"
  done >"$cups/conf/cups-files.conf"
  local queue  # cups-pdf's settings for each queue, NAME:FOLDER of its PDFs
  for queue in "qrtest:$TEST_PDF_DIR" "qrtestm:$TEST_MARGIN_PDF_DIR"; do
    printf 'Out %s\nLabel 1\nUserUMask 0022\nGrp lpadmin\nSpool %s\nLog %s\nAnonDirName %s\nGSTmp %s\n' \
      "${queue#*:}" "$cups/pdf-spool" "$cups/pdf-log" "${queue#*:}" "$cups/gs-tmp" \
      >"$cups/etc/cups-pdf-${queue%%:*}.conf"
  done
  # shellcheck disable=SC2016
  unshare -m --propagation private sh -c 'mount --bind "$0" /etc/cups && exec "$@"' \
    "$cups/etc" /usr/sbin/cupsd -f -c "$cups/conf/cupsd.conf" -s "$cups/conf/cups-files.conf" \
    >"$TEST_ENV_DIR/cupsd.log" 2>&1 &
  echo $! >"$TEST_ENV_DIR/cupsd.pid"
  export CUPS_SERVER=$cups/cups.sock CUPS_SERVERROOT=$cups/conf
  test_env_wait 10 sh -c "lpstat -r 2>/dev/null | grep -q 'is running'" \
    || { cat "$TEST_ENV_DIR/cupsd.log" "$cups/log/error_log" >&2; test_env_fail "cupsd did not start"; return 1; }
  lpadmin -p "$TEST_PRINTER" -v cups-pdf:/qrtest -m lsb/usr/cups-pdf/CUPS-PDF_noopt.ppd -E \
    2>/dev/null || { test_env_fail "cannot create the PDF queue"; return 1; }
  lpadmin -d "$TEST_PRINTER"
  # The second queue: every printable area inset (points; left and top differ).
  awk -v l=36 -v b=18 -v r=18 -v t=54 '
    /^\*ImageableArea / && match($0, /"[0-9. ]+"/) {
      split(substr($0, RSTART + 1, RLENGTH - 2), a, " ")
      $0 = substr($0, 1, RSTART - 1) "\"" a[1] + l " " a[2] + b " " a[3] - r " " a[4] - t "\""
    }
    { print }' /usr/share/ppd/cups-pdf/CUPS-PDF_noopt.ppd >"$TEST_ENV_DIR/margins.ppd" \
    && lpadmin -p "$TEST_MARGIN_PRINTER" -v cups-pdf:/qrtestm -P "$TEST_ENV_DIR/margins.ppd" -E \
    || { test_env_fail "cannot create the PDF queue with margins"; return 1; }
}

# The machine's spooler, which the tests must leave unchanged: /etc/cups's entries with mode,
# owner and checksum, and the system spooler's default printer, queues and jobs.
test_env_system_cups_state() {
  (cd /etc/cups && find . -printf '%p %M %u %g\n' | sort \
    && find . -type f -print0 | sort -z | xargs -0 sha256sum)
  env -u CUPS_SERVER -u CUPS_SERVERROOT lpstat -d -v -o 2>&1 || true
}

# A stand-in viewer for image/bmp, found through xdg-open's real association: it appends each
# path it is given to $TEST_VIEWER_LOG (as set when it runs).
test_env_start_viewer() {
  local xdg=$TEST_ENV_DIR/xdg
  mkdir -p "$xdg/data/applications" "$xdg/config"
  cat >"$xdg/viewer.sh" <<VIEWER
#!/bin/sh
printf '%s\n' "\$@" >>"\${TEST_VIEWER_LOG:-$TEST_VIEWER_LOG}"
VIEWER
  chmod +x "$xdg/viewer.sh"
  printf '[Desktop Entry]\nType=Application\nName=Test viewer\nExec=%s %%f\nMimeType=image/bmp;\nNoDisplay=true\n' \
    "$xdg/viewer.sh" >"$xdg/data/applications/qrimage-test-viewer.desktop"
  printf '[Default Applications]\nimage/bmp=qrimage-test-viewer.desktop\n' >"$xdg/config/mimeapps.list"
  export XDG_DATA_HOME=$xdg/data XDG_CONFIG_HOME=$xdg/config
  # xdg-open asks a desktop session's own opener when it sees one.
  unset XDG_CURRENT_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID BROWSER
}

test_env_start() {
  mkdir -p "$TEST_PDF_DIR" "$TEST_MARGIN_PDF_DIR"
  chmod 0777 "$TEST_PDF_DIR" "$TEST_MARGIN_PDF_DIR"
  mkdir -m 0700 -p "$TEST_ENV_DIR/runtime"
  export XDG_RUNTIME_DIR=$TEST_ENV_DIR/runtime
  test_env_start_xvfb && test_env_start_cups && test_env_start_viewer
}

# Stops process $1 of ours and waits until it is gone.
test_env_stop_pid() {
  kill "$1" 2>/dev/null || return 0
  for _ in $(seq 50); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
  kill -9 "$1" 2>/dev/null || true
}

# Runs as an EXIT trap under `set -e` too: no step may fail before every server is stopped.
test_env_stop() {
  local f
  for f in "$TEST_ENV_DIR/cupsd.pid" "$TEST_ENV_DIR/xvfb.pid"; do
    [ ! -f "$f" ] || test_env_stop_pid "$(cat "$f")"
  done
  rm -rf "$TEST_ENV_DIR"
  return 0
}
