# Test environment for the window and system tests: a private X server (Xvfb),
# a CUPS spooler with a PDF queue as the default printer, and temporary XDG
# folders. Source it from bash, then: test_env_start; ...; test_env_stop.
# Everything lives under $TEST_ENV_DIR; servers are stopped by their PID.

TEST_ENV_DIR=${TEST_ENV_DIR:-$(mktemp -d "${TMPDIR:-/tmp}/qrimage-test-env.XXXXXX")}
export TEST_ENV_DIR
export TEST_PDF_DIR=$TEST_ENV_DIR/pdf
TEST_PRINTER=${TEST_PRINTER:-QRIMAGE_TEST_PDF}
export TEST_PRINTER

test_env_fail() { echo "test-env: $*" >&2; return 1; }

test_env_start_xvfb() {
  : >"$TEST_ENV_DIR/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$TEST_ENV_DIR/display" \
    >"$TEST_ENV_DIR/xvfb.log" 2>&1 &
  echo $! >"$TEST_ENV_DIR/xvfb.pid"
  for _ in $(seq 100); do [ -s "$TEST_ENV_DIR/display" ] && break; sleep 0.1; done
  local number
  number=$(tr -d '\n' <"$TEST_ENV_DIR/display")
  [ -n "$number" ] || { cat "$TEST_ENV_DIR/xvfb.log" >&2; test_env_fail "Xvfb did not start"; return 1; }
  export DISPLAY=:$number
}

test_env_start_cups() {
  if ! lpstat -r 2>/dev/null | grep -q 'is running'; then
    /usr/sbin/cupsd -f >"$TEST_ENV_DIR/cupsd.log" 2>&1 &
    echo $! >"$TEST_ENV_DIR/cupsd.pid"
    for _ in $(seq 100); do lpstat -r 2>/dev/null | grep -q 'is running' && break; sleep 0.1; done
    lpstat -r 2>/dev/null | grep -q 'is running' || { cat "$TEST_ENV_DIR/cupsd.log" >&2; test_env_fail "cupsd did not start"; return 1; }
  fi
  # cups-pdf reads /etc/cups/cups-pdf-NAME.conf for a device URI cups-pdf:/NAME.
  printf 'Out %s\nLabel 1\nUserUMask 0022\nGrp lpadmin\n' "$TEST_PDF_DIR" >/etc/cups/cups-pdf-qrtest.conf
  lpadmin -p "$TEST_PRINTER" -v cups-pdf:/qrtest -m lsb/usr/cups-pdf/CUPS-PDF_noopt.ppd -E \
    || { test_env_fail "cannot create the PDF queue"; return 1; }
  lpadmin -d "$TEST_PRINTER"
}

test_env_start() {
  mkdir -p "$TEST_PDF_DIR" && chmod 0777 "$TEST_PDF_DIR"
  mkdir -m 0700 -p "$TEST_ENV_DIR/runtime"
  export XDG_RUNTIME_DIR=$TEST_ENV_DIR/runtime
  test_env_start_xvfb && test_env_start_cups
}

test_env_stop() {
  local f p
  lpadmin -x "$TEST_PRINTER" 2>/dev/null
  rm -f /etc/cups/cups-pdf-qrtest.conf
  for f in "$TEST_ENV_DIR/cupsd.pid" "$TEST_ENV_DIR/xvfb.pid"; do
    [ -f "$f" ] || continue
    p=$(cat "$f"); kill "$p" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$p" 2>/dev/null
    rm -f "$f"
  done
  rm -rf "$TEST_ENV_DIR"
  return 0
}
