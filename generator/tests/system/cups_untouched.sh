#!/usr/bin/env bash
# The tests leave the machine's spooler alone. With the system's cupsd
# running and a default printer set, the test environment's private spooler
# is started, the print tests print through it, and it is stopped; then
# /etc/cups and the system's default printer and queues are byte for byte as
# before. The "system" is the machine's own cupsd and configuration, run in
# a mount and network namespace on copies of /etc/cups and of the spooler's
# run, spool, cache and log folders, so that this test changes nothing on
# the machine either.
# Usage: cups_untouched.sh PRINT_TEST
set -euo pipefail
if [ "${1:-}" != --inside ]; then
  if ! unshare -m -n --propagation private true 2>/dev/null; then
    echo "SKIP: no mount and network namespace can be made here (needs root)"
    exit 77
  fi
  exec unshare -m -n --propagation private "$0" --inside "$@"
fi
print_test=$2
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }
# Run inside another test environment, ignore its private spooler: the
# tools talk to the system's one.
unset CUPS_SERVER CUPS_SERVERROOT TEST_ENV_DIR

work=$(mktemp -d "${TMPDIR:-/tmp}/qrgenerator-cups.XXXXXX")
system_cupsd=""
folders=(/etc/cups /var/spool/cups /var/cache/cups /var/log/cups /var/spool/cups-pdf)
cleanup() {
  if [ -n "$system_cupsd" ]; then
    kill "$system_cupsd" 2>/dev/null || true
    wait "$system_cupsd" 2>/dev/null || true
  fi
  umount "${folders[@]}" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mount -t tmpfs tmpfs /run && mkdir -m 0755 /run/cups
for folder in "${folders[@]}"; do
  mkdir -p "$work$folder" && cp -a "$folder/." "$work$folder/" && mount --bind "$work$folder" "$folder"
done
/usr/sbin/cupsd -f >"$work/system-cupsd.log" 2>&1 &
system_cupsd=$!
for _ in $(seq 100); do lpstat -r 2>/dev/null | grep -q 'is running' && break; sleep 0.1; done
lpadmin -p SYSTEM_DEFAULT -v ipp://printer.invalid/ipp/print \
  -m lsb/usr/cups-pdf/CUPS-PDF_noopt.ppd 2>/dev/null && lpadmin -d SYSTEM_DEFAULT \
  || fail "cannot set up the system's default printer: $(cat "$work/system-cupsd.log")"

# shellcheck source=../../../scripts/test-env.sh
source "$here/../../../scripts/test-env.sh"
before=$(test_env_system_cups_state)
grep -q 'system default destination: SYSTEM_DEFAULT' <<<"$before" || fail "no system default: $before"

(
  trap test_env_stop EXIT
  test_env_start
  QT_QPA_PLATFORM=offscreen "$print_test" printsEachNewPicture
) || fail "the print test failed in the test environment"

after=$(test_env_system_cups_state)
[ "$before" = "$after" ] || fail "the system's spooler changed: $(diff <(echo "$before") <(echo "$after"))"
echo "the system's /etc/cups, default printer and queues are as they were"
