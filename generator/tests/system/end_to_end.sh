#!/usr/bin/env bash
# The whole program, used as a person would: the real qrgenerator on an X
# server of its own, in a fresh application folder whose path holds spaces
# and Cyrillic letters; a Cyrillic text pasted, digits typed, Enter pressed; the picture
# read back by an independent decoder; Esc and Enter (Yes) to close.
# Usage: end_to_end.sh QRGENERATOR QR_DECODE BUILT_LIBRARY LIBRARY_NAME
set -euo pipefail
program=$1 decoder=$2 built_library=$3 library_name=$4
here=$(cd "$(dirname "$0")" && pwd)
text='Привет, мир! Ёж 42'

fail() {
  echo "FAIL: $*" >&2
  [ ! -s "${work:-}/program.log" ] || { echo "qrgenerator said:" >&2; cat "$work/program.log" >&2; }
  exit 1
}
for tool in Xvfb xdotool xclip; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/setup-deps installs it)"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/qrgenerator-e2e.XXXXXX")
program_pid=""
stop_pid() {  # stops one process of ours by its id and waits until it is gone
  kill "$1" 2>/dev/null || return 0
  for _ in $(seq 50); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
  kill -9 "$1" 2>/dev/null || true
}
cleanup() {
  [ -z "$program_pid" ] || stop_pid "$program_pid"
  [ ! -f "$work/env/xvfb.pid" ] || stop_pid "$(cat "$work/env/xvfb.pid")"
  rm -rf "$work"
}
trap cleanup EXIT

# An X server of its own, from the project's test environment: no other
# test's window can take the keyboard focus while this one types.
mkdir -m 0700 "$work/env" "$work/runtime"
export TEST_ENV_DIR=$work/env XDG_RUNTIME_DIR=$work/runtime
# shellcheck source=../../../scripts/test-env.sh
source "$here/../../../scripts/test-env.sh"
test_env_start_xvfb || fail "Xvfb did not start"

folder="$work/Мои QR коды/новая папка"
mkdir -p "$folder"
QRGENERATOR_APP_DIR=$folder "$program" >"$work/program.log" 2>&1 &
program_pid=$!

# The id of the program's visible window titled exactly $1 (xdotool's own
# name search is a regular expression that also matches other titles).
# Polled gently: on a busy machine a burst of short X connections can make
# the X server refuse the program's own connection while it starts.
find_window() {
  local id
  for _ in $(seq 40); do
    sleep 0.3
    kill -0 "$program_pid" 2>/dev/null || fail "qrgenerator ended early"
    for id in $(xdotool search --onlyvisible --pid "$program_pid" 2>/dev/null); do
      [ "$(xdotool getwindowname "$id" 2>/dev/null)" != "$1" ] || { echo "$id"; return 0; }
    done
  done
  fail "no window titled '$1' appeared within 12 s"
}
window=$(find_window 'QR генератор')

[ -f "$folder/$library_name" ] || fail "the library was not written beside the program"
cmp -s "$folder/$library_name" "$built_library" || fail "the written library differs from the built one"

# There is no window manager to give a window the keyboard focus; do its
# part and wait until the X server has moved the focus, so that the window
# is active before the first key arrives. Then click into the text box.
xdotool windowfocus --sync "$window"
xdotool mousemove --window "$window" 148 161 click 1
# The Cyrillic part comes through the clipboard, as a person pastes it:
# xdotool types a character missing from the keyboard map by remapping a
# spare key for it, and on a busy machine the program can read the key after
# it was remapped to the next character. The ASCII rest is typed key by key.
printf '%s' "${text% 42}" | xclip -selection clipboard -i
xdotool key ctrl+v
xdotool type --delay 100 " 42"
xdotool key Return
for _ in $(seq 100); do [ -f "$folder/QR.bmp" ] && break; sleep 0.1; done
[ -f "$folder/QR.bmp" ] || fail "QR.bmp did not appear after Enter"

printf '%s' "$text" >"$work/expected"
"$decoder" "$folder/QR.bmp" >"$work/decoded" || fail "the decoder found no QR code in QR.bmp"
cmp -s "$work/expected" "$work/decoded" \
  || fail "QR.bmp holds '$(cat "$work/decoded")', typed was '$text'"

# Esc asks "Закрыть программу?"; Enter answers with the default, Yes. The
# program gives its question the keyboard focus itself; wait for that.
xdotool key Escape
question=$(find_window 'QR')
for _ in $(seq 100); do
  [ "$(xdotool getwindowfocus 2>/dev/null)" != "$question" ] || break
  sleep 0.1
done
[ "$(xdotool getwindowfocus 2>/dev/null)" = "$question" ] || fail "the question did not get the keyboard focus"
xdotool key Return
for _ in $(seq 100); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$program_pid" 2>/dev/null && fail "qrgenerator still runs after Esc and Yes"
status=0
wait "$program_pid" || status=$?
program_pid=""
[ "$status" -eq 0 ] || fail "qrgenerator ended with status $status"

[ ! -e "$folder/QR.bmp" ] || fail "QR.bmp is still there after closing"
cmp -s "$folder/$library_name" "$built_library" || fail "the library file did not stay as it was"
echo "end to end: typed, encoded, decoded and closed"
