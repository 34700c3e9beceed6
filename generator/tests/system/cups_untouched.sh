#!/usr/bin/env bash
# The tests leave the machine's spooler alone even while it runs with a
# default printer: /etc/cups and the system's queues stay as they were. The
# "system" is the machine's own cupsd and configuration in a mount and
# network namespace, on copies of its folders, so that this test changes
# nothing either.
# Usage: cups_untouched.sh DESKTOP_TEST
set -euo pipefail
if [ "${1:-}" != --inside ]; then
  if ! unshare -m -n --propagation private true 2>/dev/null; then
    echo "SKIP: no mount and network namespace can be made here (needs root)"
    exit 77
  fi
  exec unshare -m -n --propagation private "$0" --inside "$@"
fi
# Run inside another test environment: the tools talk to the system's spooler.
unset CUPS_SERVER CUPS_SERVERROOT TEST_ENV_DIR
work=$(mktemp -d "${TMPDIR:-/tmp}/qrgenerator-cups.XXXXXX")
# The namespace and its mounts go with the last process in it.
trap 'kill "${system_cupsd:-}" 2>/dev/null; wait; rm -rf "$work"' EXIT
mount -t tmpfs tmpfs /run && mkdir -m 0755 /run/cups
for folder in /etc/cups /var/spool/cups /var/cache/cups /var/log/cups /var/spool/cups-pdf; do
  mkdir -p "$work$folder" && cp -a "$folder/." "$work$folder/" && mount --bind "$work$folder" "$folder"
done
/usr/sbin/cupsd -f >"$work/system-cupsd.log" 2>&1 &
system_cupsd=$!
for _ in $(seq 100); do lpstat -r 2>/dev/null | grep -q 'is running' && break; sleep 0.1; done
lpadmin -p SYSTEM_DEFAULT -v ipp://printer.invalid/ipp/print \
  -m lsb/usr/cups-pdf/CUPS-PDF_noopt.ppd 2>/dev/null && lpadmin -d SYSTEM_DEFAULT \
  || { echo "FAIL: no system default printer: $(cat "$work/system-cupsd.log")"; exit 1; }

# shellcheck source=../../../scripts/test-env.sh
source "$(dirname "$0")/../../../scripts/test-env.sh"
before=$(test_env_system_cups_state)
(
  trap test_env_stop EXIT
  test_env_start
  QT_QPA_PLATFORM=offscreen "$2" printsEachNewPicture
)
after=$(test_env_system_cups_state)
[ "$before" = "$after" ] || { echo "FAIL: the system's spooler changed:"; diff <(echo "$before") <(echo "$after"); exit 1; }
echo "the system's /etc/cups, default printer and queues are as they were"
