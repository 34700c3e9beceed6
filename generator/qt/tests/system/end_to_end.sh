#!/usr/bin/env bash
# The installed program (a prefix owned by root) used by two ordinary users at
# once on an X server of its own, with and without a runtime folder: each
# picture lands in the user's own 0700 $XDG_RUNTIME_DIR/qrgenerator or
# ~/.cache/qrgenerator beside the user's library copy and reads back with
# zbar; Esc, Enter (Yes) deletes it; nothing is written into the installation.
# Root's window writes nothing into the installation either. Then the
# program started from, or told to use, folders that other users may change:
# it runs only a library copy of the user's own, and no Qt plugin or qt.conf
# another user planted beside it.
# Usage: end_to_end.sh BUILT_LIBRARY LIBRARY_NAME BUILD_DIR PLANTED_PLUGIN
set -euo pipefail
built_library=$1 library_name=$2 build=$3 planted_plugin=$4
here=$(cd "$(dirname "$0")" && pwd)

fail() {
  echo "FAIL: $*" >&2
  tail -n +1 "$work"/*.log >&2
  exit 1
}
work=$(mktemp -d "${TMPDIR:-/tmp}/qrgenerator-e2e.XXXXXX")
chmod 0755 "$work"  # the users below must reach their folders in it
mkdir -m 0700 "$work/env"
export TEST_ENV_DIR=$work/env
# shellcheck source=../../../../scripts/test-env.sh
source "$here/../../../../scripts/test-env.sh"
pids=()
# A program stopped by a signal leaves its library copy's colour object;
# user 4242's (no runtime folder) lies in /dev/shm.
cleanup() {
  local pid copy user device inode
  for pid in "${pids[@]}"; do test_env_stop_pid "$pid"; done
  while read -r copy; do
    read -r user device inode < <(stat -c '%u %d %i' "$copy")
    rm -f "/dev/shm/qrimage-colours-$user-$device-$inode-"*
  done < <(find "$work" -name "$library_name" -type f)
  test_env_stop
  rm -rf "$work"
}
trap cleanup EXIT
# Our own X server: no other test's window takes the keyboard focus.
test_env_start_xvfb || fail "Xvfb did not start"

# The id of the visible window of process $1 titled exactly $2 (xdotool's
# name search is a regular expression, and misses Cyrillic in the C locale).
# Polled gently: on a busy machine a burst of short X connections can make
# the X server refuse the program's own connection while it starts.
find_window() {
  local id
  for _ in $(seq 40); do
    sleep 0.3
    for id in $(xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
      [ "$(xdotool getwindowname "$id" 2>/dev/null)" != "$2" ] || { echo "$id"; return 0; }
    done
  done
  fail "no window titled '$2' of process $1 appeared within 12 s"
}

# Pastes $3 (xdotool types Cyrillic through a remapped spare key, which a busy
# program may read late) and types $2 into the text box of process $1,
# presses Enter, then reads back picture $4.
create_in() {
  local window
  window=$(find_window "$1" 'QR генератор')
  # No window manager: focus the window ourselves before the first key,
  # and raise it, as both windows open at the same place.
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
  local read
  read=$(zbarimg -q --raw -Sbinary "$4")
  [ "$read" = "$3$2" ] || fail "$4 holds '$read', typed was '$3$2'"
}

# Fails unless process $1 ends with status $2 (ctest's timeout ends a hang).
ends_with() {
  local status=0
  wait "$1" || status=$?
  [ "$status" -eq "$2" ] || fail "qrgenerator ($1) ended with status $status, not $2"
}

# Esc asks "Закрыть программу?"; Enter answers with the default, Yes.
close_by_escape() {
  local window
  window=$(find_window "$1" 'QR генератор')
  xdotool windowfocus --sync "$window" key Escape
  window=$(find_window "$1" 'QR')
  xdotool windowfocus --sync "$window" key Return
  ends_with "$1" 0
}

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || fail "cmake --install failed"
installed_before=$(find "$prefix" -printf '%p %M %s\n' | sort)
# Without a home or runtime folder there is no application folder: a box
# titled QR says so, and its OK ends the program with status 1.
setpriv --reuid=4241 --regid=4241 --clear-groups env -i DISPLAY="$DISPLAY" TMPDIR="$work" \
  "$prefix/bin/qrgenerator" >"$work/no-home.log" 2>&1 &
pids=($!)
window=$(find_window "${pids[0]}" 'QR')
xdotool windowfocus --sync "$window" key Return
ends_with "${pids[0]}" 1
pids=()
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
# Both windows first: one mapped later would cover the other while it is
# being typed into.
for pid in "${pids[@]}"; do find_window "$pid" 'QR генератор' >/dev/null; done
create_in "${pids[0]}" " 42" "Привет, мир! Ёж" "${picture[4241]}/QR.bmp"
create_in "${pids[1]}" "user 4242" "" "${picture[4242]}/QR.bmp"
for user in 4241 4242; do
  [ "$(stat -c '%a %u' "${picture[$user]}")" = "700 $user" ] || fail "${picture[$user]} is not private"
  cmp -s "${picture[$user]}/$library_name" "$built_library" || fail "user $user's library copy differs"
done
close_by_escape "${pids[0]}"
[ ! -e "${picture[4241]}/QR.bmp" ] || fail "user 4241's QR.bmp is still there after closing"
[ -f "${picture[4242]}/QR.bmp" ] || fail "closing user 4241's window deleted user 4242's picture"
close_by_escape "${pids[1]}"
pids=()
# Root may write into the installation, but uses its own folder all the same.
home=$work/root/home
mkdir -p -m 0700 "$home"
env -i HOME="$home" DISPLAY="$DISPLAY" PATH=/usr/bin:/bin "$prefix/bin/qrgenerator" \
  >"$work/root.log" 2>&1 &
pids=($!)
create_in "${pids[0]}" "root" "" "$home/.cache/qrgenerator/QR.bmp"
close_by_escape "${pids[0]}"
pids=()

# Fails unless the library that process $1 runs is $2, of user $3's, and
# nobody else may write to it.
runs_own_library() {
  local loaded owner mode
  loaded=$(awk -v name="/$library_name" 'index($6, name) { print $6; exit }' "/proc/$1/maps")
  [ "$loaded" = "$2" ] || fail "process $1 runs '$loaded', not $2"
  read -r owner mode < <(stat -c '%u %a' "$loaded")
  if [ "$owner" != "$3" ] || [ $((0$mode & 022)) != 0 ]; then
    fail "$loaded is user $owner's, mode $mode"
  fi
}

# Rows: the shared folder's mode (its group 4243 holds users 4241 and 4242) |
# what the user starts: the program copied into it, or the installed one told
# to use it (QRGENERATOR_APP_DIR), or the installed one with the runtime
# folder, or the runtime and home folders, in it | whether user 4242 put an
# identical library copy there first, which they may rewrite | where the
# picture lands: the runtime folder, ~/.cache, the shared folder, or nowhere
# (the program says why and ends with 1).
rows=(
  "0775 copied    planted runtime"
  "1777 copied    none    runtime"
  "0775 runtime   none    cache"
  "0775 home      none    refused"
  "0775 overrides planted shared"
  "1777 overrides planted refused"
)
for number in "${!rows[@]}"; do
  read -r mode start planted lands <<<"${rows[$number]}"
  shared=$work/row$number/shared home=$work/row$number/home runtime=$work/row$number/runtime
  case $start in
    runtime) runtime=$shared/runtime ;;
    home) runtime=$shared/runtime home=$shared/home ;;
  esac
  mkdir -p "$shared" "$home" "$runtime"
  chown 4241:4241 "$home" "$runtime" && chmod 0700 "$home" "$runtime"
  chown root:4243 "$shared" && chmod "$mode" "$shared"
  environment=(HOME="$home" TMPDIR="$home" DISPLAY="$DISPLAY" PATH=/usr/bin:/bin
    XDG_RUNTIME_DIR="$runtime")
  program=$prefix/bin/qrgenerator
  case $start in
    copied) cp "$prefix/lib/qrgenerator/qrgenerator" "$shared/" && program=$shared/qrgenerator ;;
    overrides) environment+=(QRGENERATOR_APP_DIR="$shared") ;;
  esac
  # Beside a copied program user 4242 plants an image-format plugin for the
  # BMP pictures the window shows, and a qt.conf that sends Qt to a second one.
  if [ "$start" = copied ]; then
    setpriv --reuid=4242 --regid=4242 --groups=4243 sh -c 'umask 0 && cd "$1" &&
      mkdir imageformats elsewhere elsewhere/imageformats &&
      cp "$2" imageformats/ && cp "$2" elsewhere/imageformats/ &&
      printf "[Paths]\nPlugins=%s/elsewhere\n" "$1" > qt.conf' sh "$shared" "$planted_plugin"
    environment+=(QT_DEBUG_PLUGINS=1)
  fi
  if [ "$planted" = planted ]; then
    setpriv --reuid=4242 --regid=4242 --groups=4243 cp "$prefix/lib/qrgenerator/$library_name" \
      "$shared/$library_name"
    setpriv --reuid=4242 --regid=4242 --groups=4243 chmod 0664 "$shared/$library_name"
  fi
  shared_before=$(find "$shared" -printf '%p %u %M %i %s\n' | sort)
  setpriv --reuid=4241 --regid=4241 --groups=4243 env -i "${environment[@]}" \
    "$program" >"$work/row.log" 2>&1 &
  pids=($!)
  if [ "$lands" = refused ]; then
    window=$(find_window "${pids[0]}" 'QR')
    xdotool windowfocus --sync "$window" key Return
    ends_with "${pids[0]}" 1
  else
    folder=$shared
    case $lands in
      runtime) folder=$runtime/qrgenerator ;;
      cache) folder=$home/.cache/qrgenerator ;;
    esac
    create_in "${pids[0]}" "row $number" "" "$folder/QR.bmp"
    runs_own_library "${pids[0]}" "$folder/$library_name" 4241
    close_by_escape "${pids[0]}"
  fi
  pids=()
  ! grep -F "\"$shared/" "$work/row.log" || fail "row $number: Qt searched the shared folder"
  [ "$lands" = shared ] || [ "$(find "$shared" -printf '%p %u %M %i %s\n' | sort)" = \
    "$shared_before" ] || fail "row $number: the program (or a plugin it ran) changed the shared folder"
done

[ "$(find "$prefix" -printf '%p %M %s\n' | sort)" = "$installed_before" ] \
  || fail "the program wrote into its installation"
echo "end to end: two users typed, encoded, decoded and closed; shared folders passed over"
