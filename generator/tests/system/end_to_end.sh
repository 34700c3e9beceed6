#!/usr/bin/env bash
# The whole program, used as people would, on an X server of its own, each
# picture read back by an independent decoder.
# 1. The built program in a folder with spaces and Cyrillic letters: a
#    Cyrillic text pasted, digits typed, Enter; Esc, Enter (Yes): QR.bmp goes.
# 2. The installed program (a prefix owned by root) run at once by two
#    ordinary users, with and without a runtime folder: each picture lands in
#    the user's own 0700 $XDG_RUNTIME_DIR/qrgenerator or ~/.cache/qrgenerator
#    beside the user's library copy; nothing is written into the
#    installation; closing one window leaves the other's picture.
# Usage: end_to_end.sh QRGENERATOR QR_DECODE BUILT_LIBRARY LIBRARY_NAME BUILD_DIR
set -euo pipefail
program=$1 decoder=$2 built_library=$3 library_name=$4 build=$5
here=$(cd "$(dirname "$0")" && pwd)

fail() {
  echo "FAIL: $*" >&2
  for log in "${work:-/nonexistent}"/*.log; do
    [ ! -s "$log" ] || { echo "$log:" >&2; cat "$log" >&2; }
  done
  exit 1
}
for tool in Xvfb xdotool xclip setpriv; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/setup-deps installs it)"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/qrgenerator-e2e.XXXXXX")
chmod 0755 "$work"  # the users below must reach their folders in it
pids=()
stop_pid() {  # stops one process of ours by its id and waits until it is gone
  kill "$1" 2>/dev/null || return 0
  for _ in $(seq 50); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
  kill -9 "$1" 2>/dev/null || true
}
# A program stopped by a signal leaves its library copy's colour object;
# user 4242's (no runtime folder) lies in /dev/shm.
remove_colour_objects() {
  local copy user device inode
  while read -r copy; do
    read -r user device inode < <(stat -c '%u %d %i' "$copy")
    rm -f "/dev/shm/qrimage-colours-$user-$device-$inode-"*
  done < <(find "$work" -name "$library_name" -type f)
}
cleanup() {
  for pid in "${pids[@]}"; do stop_pid "$pid"; done
  [ ${#pids[@]} -eq 0 ] || remove_colour_objects
  [ ! -f "$work/env/xvfb.pid" ] || stop_pid "$(cat "$work/env/xvfb.pid")"
  rm -rf "$work"
}
trap cleanup EXIT

# An X server of its own (no other test's window takes the keyboard focus),
# without access control, so the users below may connect too.
mkdir -m 0700 "$work/env" "$work/runtime"
export TEST_ENV_DIR=$work/env XDG_RUNTIME_DIR=$work/runtime
# shellcheck source=../../../scripts/test-env.sh
source "$here/../../../scripts/test-env.sh"
test_env_start_xvfb || fail "Xvfb did not start"

# The id of the visible window of process $1 titled exactly $2 (xdotool's own
# name search is a regular expression that also matches other titles).
# Polled gently: on a busy machine a burst of short X connections can make
# the X server refuse the program's own connection while it starts.
find_window() {
  local id
  for _ in $(seq 40); do
    sleep 0.3
    kill -0 "$1" 2>/dev/null || fail "qrgenerator ($1) ended early"
    for id in $(xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
      [ "$(xdotool getwindowname "$id" 2>/dev/null)" != "$2" ] || { echo "$id"; return 0; }
    done
  done
  fail "no window titled '$2' of process $1 appeared within 12 s"
}

# Types $2 into the text box of process $1 and presses Enter; the Cyrillic
# part ($3) comes through the clipboard, as a person pastes it: xdotool types
# a character missing from the keyboard map by remapping a spare key for it,
# and on a busy machine the program can read the key after it was remapped
# to the next character. Then waits for $4 (the picture) and decodes it.
create_in() {
  local window
  window=$(find_window "$1" 'QR генератор')
  # There is no window manager to give a window the keyboard focus; do its
  # part and wait until the X server has moved the focus, so that the window
  # is active before the first key arrives. Then click into the text box,
  # raised first: the windows of several programs open at the same place.
  xdotool windowraise "$window" windowfocus --sync "$window"
  xdotool mousemove --window "$window" 148 161 click 1
  if [ -n "$3" ]; then
    printf '%s' "$3" | xclip -selection clipboard -i
    xdotool key ctrl+v
  fi
  xdotool type --delay 100 "$2"
  xdotool key Return
  for _ in $(seq 100); do [ -f "$4" ] && break; sleep 0.1; done
  [ -f "$4" ] || fail "$4 did not appear after Enter"
  [ "$("$decoder" "$4")" = "$3$2" ] || fail "$4 holds '$("$decoder" "$4")', typed was '$3$2'"
}

# Esc asks "Закрыть программу?"; Enter answers with the default, Yes. The
# program gives its question the keyboard focus itself; wait for that.
close_by_escape() {
  local question status=0
  xdotool windowfocus --sync "$(find_window "$1" 'QR генератор')"
  xdotool key Escape
  question=$(find_window "$1" 'QR')
  for _ in $(seq 100); do
    [ "$(xdotool getwindowfocus 2>/dev/null)" != "$question" ] || break
    sleep 0.1
  done
  [ "$(xdotool getwindowfocus 2>/dev/null)" = "$question" ] || fail "the question did not get the keyboard focus"
  xdotool key Return
  for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$1" 2>/dev/null && fail "qrgenerator still runs after Esc and Yes"
  wait "$1" || status=$?
  [ "$status" -eq 0 ] || fail "qrgenerator ended with status $status"
}

# ---- 1. the built program in a folder of its own
folder="$work/Мои QR коды/новая папка"
mkdir -p "$folder"
QRGENERATOR_APP_DIR=$folder "$program" >"$work/program.log" 2>&1 &
pids+=($!)
find_window "${pids[0]}" 'QR генератор' >/dev/null
cmp -s "$folder/$library_name" "$built_library" || fail "the written library differs from the built one"
create_in "${pids[0]}" " 42" "Привет, мир! Ёж" "$folder/QR.bmp"
close_by_escape "${pids[0]}"
[ ! -e "$folder/QR.bmp" ] || fail "QR.bmp is still there after closing"
cmp -s "$folder/$library_name" "$built_library" || fail "the library file did not stay as it was"

# ---- 2. the installed program, two ordinary users at once
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || fail "cmake --install failed"
installed_before=$(find "$prefix" -printf '%p %M %s\n' | sort)
declare -A picture
for user in 4241 4242; do
  home=$work/user$user/home runtime=$work/user$user/runtime
  mkdir -p "$home" "$runtime" && chmod 0700 "$home" "$runtime" && chown -R "$user:$user" "$work/user$user"
  environment=(HOME="$home" TMPDIR="$home" DISPLAY="$DISPLAY" PATH=/usr/bin:/bin)
  if [ "$user" = 4241 ]; then
    environment+=(XDG_RUNTIME_DIR="$runtime") picture[$user]=$runtime/qrgenerator
  else
    picture[$user]=$home/.cache/qrgenerator
  fi
  setpriv --reuid="$user" --regid="$user" --clear-groups env -i "${environment[@]}" \
    "$prefix/bin/qrgenerator" >"$work/user$user.log" 2>&1 &
  pids+=($!)
done
# Both windows first: they open at the same place, and one that is mapped
# later would cover the other while it is being typed into.
for pid in "${pids[1]}" "${pids[2]}"; do find_window "$pid" 'QR генератор' >/dev/null; done
create_in "${pids[1]}" "user 4241" "" "${picture[4241]}/QR.bmp"
create_in "${pids[2]}" "user 4242" "" "${picture[4242]}/QR.bmp"
for user in 4241 4242; do
  [ "$(stat -c '%a %u' "${picture[$user]}")" = "700 $user" ] || fail "${picture[$user]} is not private"
  cmp -s "${picture[$user]}/$library_name" "$built_library" || fail "user $user's library copy differs"
done
close_by_escape "${pids[1]}"
[ ! -e "${picture[4241]}/QR.bmp" ] || fail "user 4241's QR.bmp is still there after closing"
[ -f "${picture[4242]}/QR.bmp" ] || fail "closing user 4241's window deleted user 4242's picture"
close_by_escape "${pids[2]}"
pids=()
[ "$(find "$prefix" -printf '%p %M %s\n' | sort)" = "$installed_before" ] \
  || fail "the program wrote into its installation"
echo "end to end: typed, encoded, decoded and closed; installed, two users"
