#!/usr/bin/env bash
# The installed program on an X server of its own, run by an ordinary user and by root, from
# or told to use folders others may change: each picture lands beside the user's own library
# copy, reads back and goes with Esc, Enter (Yes); nothing planted runs; the installation
# stays unwritten.
# Usage: end_to_end.sh LIBRARY_NAME BUILD_DIR PLANTED_PLUGIN
set -euo pipefail
library_name=$1 build=$2 planted_plugin=$3

fail() { echo "FAIL: $*" >&2; tail -n +1 "$work"/*.log >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/qrgenerator-e2e.XXXXXX")
chmod 0755 "$work"  # the users below must reach their folders in it
mkdir -m 0700 "$work/env"
export TEST_ENV_DIR=$work/env
# shellcheck source=../../../../scripts/test-env.sh
source "$(dirname "$0")/../../../../scripts/test-env.sh"
pids=()
# A program stopped by a signal leaves its library copy's colour object in /dev/shm.
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

# Presses key $3 in the window of process $1 titled $2.
press() {
  local window
  window=$(test_env_find_window "$1" "$2") || fail "no window '$2' of process $1"
  xdotool windowfocus --sync "$window" key "$3"
}

as_4242() { setpriv --reuid=4242 --regid=4242 --groups=4243 "$@"; }
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || fail "cmake --install failed"
installed_before=$(find "$prefix" -printf '%p %M %s\n' | sort)
# Fails unless process $1 runs library $2, user $3's, which nobody else may write to.
runs_own_library() {
  local loaded owner mode
  loaded=$(awk -v name="/$library_name" 'index($6, name) { print $6; exit }' "/proc/$1/maps")
  [ "$loaded" = "$2" ] || fail "process $1 runs '$loaded', not $2"
  read -r owner mode < <(stat -c '%u %a' "$loaded")
  [ "$owner" = "$3" ] && [ $((0$mode & 022)) = 0 ] || fail "$loaded is user $owner's, mode $mode"
}

# Rows: the user, 4241 or root | the shared folder's mode (group 4243 holds 4241 and 4242) |
# the installed program, the program copied into the shared folder, the installed one told
# to use it (QRGENERATOR_APP_DIR), or with its runtime (and home) folder in it | whether
# user 4242 put there a library copy they may rewrite | where the picture lands: the user's
# 0700 runtime folder or ~/.cache, the shared folder, or nowhere (the program says why, ends 1).
rows=(
  "4241 0755 installed none    runtime"
  "0    0755 installed none    runtime"
  "4241 0775 copied    planted runtime"
  "4241 1777 copied    none    runtime"
  "4241 0775 runtime   none    cache"
  "4241 0775 home      none    refused"
  "4241 0775 overrides planted shared"
  "4241 1777 overrides planted refused"
)
for number in "${!rows[@]}"; do
  read -r user mode start planted lands <<<"${rows[$number]}"
  shared=$work/row$number/shared home=$work/row$number/home runtime=$work/row$number/runtime
  case $start in
    runtime) runtime=$shared/runtime ;;
    home) runtime=$shared/runtime home=$shared/home ;;
  esac
  mkdir -p "$shared" "$home" "$runtime"
  chown "$user:$user" "$home" "$runtime" && chmod 0700 "$home" "$runtime"
  chown root:4243 "$shared" && chmod "$mode" "$shared"
  environment=(HOME="$home" TMPDIR="$home" DISPLAY="$DISPLAY" PATH=/usr/bin:/bin
    XDG_RUNTIME_DIR="$runtime")
  program=$prefix/bin/qrgenerator
  # User 4242 plants a BMP plugin beside a copied program, and a qt.conf naming a second one.
  case $start in
    copied)
      cp "$prefix/lib/qrgenerator/qrgenerator" "$shared/" && program=$shared/qrgenerator
      as_4242 sh -c 'umask 0 && cd "$1" && mkdir imageformats elsewhere elsewhere/imageformats &&
        cp "$2" imageformats/ && cp "$2" elsewhere/imageformats/ &&
        printf "[Paths]\nPlugins=%s/elsewhere\n" "$1" > qt.conf' sh "$shared" "$planted_plugin" ;;
    overrides) environment+=(QRGENERATOR_APP_DIR="$shared") ;;
  esac
  [ "$planted" != planted ] || as_4242 sh -c 'cp "$1" "$2" && chmod 0664 "$2"' sh \
    "$prefix/lib/qrgenerator/$library_name" "$shared/$library_name"
  shared_before=$(find "$shared" -printf '%p %u %M %i %s\n' | sort)
  setpriv --reuid="$user" --regid="$user" --groups=4243 env -i "${environment[@]}" \
    "$program" >"$work/row.log" 2>&1 &
  pids=($!)
  if [ "$lands" != refused ]; then
    folder=$shared
    case $lands in
      runtime) folder=$runtime/qrgenerator ;;
      cache) folder=$home/.cache/qrgenerator ;;
    esac
    test_env_create "${pids[0]}" "$folder/QR.bmp" "row $number" || fail "row $number: no picture"
    runs_own_library "${pids[0]}" "$folder/$library_name" "$user"
    [ "$lands" = shared ] || [ "$(stat -c '%a %u' "$folder")" = "700 $user" ] ||
      fail "row $number: $folder is not private"
    # Esc asks "Закрыть программу?"; Enter answers with the default, Yes.
    press "${pids[0]}" 'QR генератор' Escape
  fi
  press "${pids[0]}" QR Return  # or OK to the refusal, after which the program ends with 1
  status=0
  wait "${pids[0]}" || status=$?
  pids=()
  [ "$status" = "$([ "$lands" = refused ] && echo 1 || echo 0)" ] || fail "row $number: status $status"
  [ "$lands" = refused ] || [ ! -e "$folder/QR.bmp" ] || fail "row $number: QR.bmp is still there"
  [ "$lands" = shared ] || [ "$(find "$shared" -printf '%p %u %M %i %s\n' | sort)" = \
    "$shared_before" ] || fail "row $number: the program (or a plugin it ran) changed the shared folder"
done

[ "$(find "$prefix" -printf '%p %M %s\n' | sort)" = "$installed_before" ] \
  || fail "the program wrote into its installation"
