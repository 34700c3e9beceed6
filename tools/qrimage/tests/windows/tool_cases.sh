#!/usr/bin/env bash
# The Windows tool under Wine, one case per run, each against the Linux tool
# of the same sources given the same arguments: same bytes, messages, status.
#
#   tool_cases.sh CASE WINDOWS_TOOL LINUX_TOOL
#
# Where 32-bit programs run emulated (the kernel refuses them, so scripts/run32
# hands them to qemu-i386), the case that runs several threads at once exits 77,
# saying why: qemu-i386 7.2 crashes in such a 32-bit Wine process.
set -euo pipefail
case=$1 windows=$2 linux=$3
wine_run=$(cd "$(dirname "$0")/../../../../scripts" && pwd)/wine-run
work=$(mktemp -d "${TMPDIR:-/tmp}/qrimage-tool-wine.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/w" "$work/l"
fail() { echo "FAIL ($case): $*" >&2; exit 1; }

# Runs both tools with ARGS in w/ and l/: status, standard output and error
# go to files named STATUS, OUT, ERR there.
both() {
  (cd "$work/w" && "$wine_run" "$windows" "$@" >OUT 2>ERR && echo 0 >STATUS || echo $? >STATUS)
  (cd "$work/l" && "$linux" "$@" <"${QRIMAGE_WINE_STDIN:-/dev/null}" >OUT 2>ERR && echo 0 >STATUS ||
    echo $? >STATUS)
}
# Both runs left the same files, each with the same bytes.
same() {
  [ "$(ls "$work/w")" = "$(ls "$work/l")" ] || fail "other files: $(ls "$work/w") / $(ls "$work/l")"
  for file in "$work/l"/*; do
    file=${file##*/}
    cmp -s "$work/w/$file" "$work/l/$file" ||
      fail "$file differs: Windows $(head -c 300 "$work/w/$file" | cat -v), Linux $(head -c 300 "$work/l/$file" | cat -v)"
  done
}
check() { both "$@" && same; }

case $case in
  same_bytes_as_linux)  # the texts reach the library as the UTF-8 they were typed in
    check -o file.png -l H 'the same bytes ёж'
    check -o file.txt 'the drawing'
    check -o - 'PNG to standard output' ;;  # no line ends translated
  non_ascii_names)
    check -o 'Привет ёж 𝄞.png' 'named in Cyrillic'
    printf 'первая\nвторая\n' | tee "$work/w/список.txt" >"$work/l/список.txt"
    check --batch список.txt -o 'код-{n}.bmp' -j 1
    check --batch 'нет такого.txt' -o 'x-{n}.png' ;;
  exit_codes)  # the system's reasons, told as on Linux
    for arguments in "--bogus" "-o missing/x.png text" "-l Q $(printf '%05000d' 0)" \
        "-s 2000 -o big.bmp $(printf '%0500d' 0)"; do
      # shellcheck disable=SC2086
      check $arguments
    done ;;
  standard_streams)
    printf 'crlf line\r\nlast\n' >"$work/list"
    QRIMAGE_WINE_STDIN=$work/list check --batch - -o 's-{n}.png' -j 1 ;;
  stop_leaves_no_temporary)
    if [[ $(file -b "$windows") != *PE32+* ]] && ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
      echo "SKIPPED: $case runs several threads at once in a 32-bit Wine process, which qemu-i386 cannot"
      exit 77
    fi
    seq -f 'stopped batch line %g' 30000 >"$work/w/list.txt"
    (cd "$work/w" && exec "$wine_run" "$windows" --batch list.txt -o 'q-{n}.png' -j 2 >OUT 2>ERR) &
    pid=$!
    (cd "$work/w" && timeout 30 sh -c 'until [ "$(ls | grep -c "^q-")" -ge 20 ]; do sleep 0.1; done' || true)
    kill -INT "$pid"
    wait "$pid" && status=0 || status=$?
    [ "$status" = 130 ] || fail "stopped with status $status, not 130"
    left=$(ls -A "$work/w" | grep -vE '^(q-[0-9]+\.png|list\.txt|OUT|ERR)$' || true)
    [ -z "$left" ] || fail "left behind: $left"
    [ "$(ls "$work/w" | grep -c '^q-')" -lt 30000 ] || fail "the batch was not stopped" ;;
  *) fail "no such case" ;;
esac
