#!/usr/bin/env bash
# wine_gui.sh PROGRAM DLL LAYOUT_CHECK PREFIX TEMPLATE: the Win32 window under
# Wine on a private X server and spooler, started from a folder with Cyrillic
# letters and a space in its name: layout, Enter, Copy, Print, Open, Exit ->
# Yes. PREFIX, the window's own (its servers carry the display), is made once
# as a copy of TEMPLATE, the Windows tests' prefix, which has both halves.
# A 32-bit program starts through scripts/run32, emulated where the kernel
# refuses it; exit status 77 where it cannot start at all.
set -euo pipefail
program=$1 dll=$2 layout_check=$3 prefix=$4 template=$5
here=$(cd "$(dirname "$0")" && pwd)
run32=$here/../../../scripts/run32
# Every wait is this many times longer when 32-bit programs run emulated.
patience=1
if [[ $(file -b "$program") == *PE32+* ]]; then
  loader=/usr/lib/wine/wine64 launch=()
else
  loader=/usr/lib/wine/wine launch=("$run32")
  mode=$("$run32" sh -c 'echo "${QRIMAGE_32BIT_EMULATED:-}"') || { status=$?; echo "$mode"; exit $status; }
  [ -z "$mode" ] || { echo "$mode"; patience=20; }
fi
# shellcheck source=../../../scripts/test-env.sh
source "$here/../../../scripts/test-env.sh"
export WINEPREFIX=$prefix WINELOADER=$loader WINEDEBUG=-all
# An EXIT trap under set -e: no step may fail before the servers are stopped
# (the program may have ended already).
cleanup() {
  if [ -n "${program_pid:-}" ]; then kill "$program_pid" 2>/dev/null || true; fi
  wineserver -k 2>/dev/null || true
  test_env_stop
}
trap cleanup EXIT
if [ ! -f "$prefix/system.reg" ]; then
  rm -rf "$prefix" "$prefix.new"
  cp -a "$template" "$prefix.new"
  mv "$prefix.new" "$prefix"
fi
test_env_start
wineserver -p </dev/null >/dev/null 2>&1 || true  # the last run's may not have ended yet
fail() { echo "FAIL: $*"; exit 1; }
wait_for() { for _ in $(seq $((100 * patience))); do eval "$1" && return 0; sleep 0.1; done; fail "$2"; }
settle() { sleep "$(awk -v s="$1" -v p="$patience" 'BEGIN { print s * p }')"; }
decodes() { test_env_decodes "$1" "$text" || fail "$1 does not decode to the text"; }

# A stand-in viewer for .bmp: Wine's own 64-bit cmd.exe records what it is
# given (sysnative names the 64-bit system folder to a 32-bit program; one
# emulated program start fewer). Associations are one for both bitnesses.
opened=$TEST_ENV_DIR/opened.log
[ ${#launch[@]} = 0 ] && system=system32 || system=sysnative
/usr/lib/wine/wine64 reg add 'HKLM\Software\Classes\.bmp' /ve /d qrtest.bitmap /f >/dev/null 2>&1
/usr/lib/wine/wine64 reg add 'HKLM\Software\Classes\qrtest.bitmap\shell\open\command' /ve \
  /d "C:\\windows\\$system\\cmd.exe /c echo %1>>Z:${opened//\//\\}" /f >/dev/null 2>&1

folder="$TEST_ENV_DIR/папка с программой"
mkdir "$folder"
cp "$program" "$folder/qrgenerator.exe"
(cd "$TEST_ENV_DIR" && LC_ALL=ru_RU.UTF-8 exec "${launch[@]}" "$loader" "$folder/qrgenerator.exe" </dev/null >/dev/null 2>&1) &
program_pid=$!
window=$(timeout $((60 * patience)) xdotool search --sync --onlyvisible --name '^QR генератор$' | head -n1)
[ -n "$window" ] || fail "no window"
cmp "$folder/$(basename "$dll")" "$dll" || fail "the library copy differs from $(basename "$dll")"

# Every control with the caption and place (within a pixel) the Qt form gives
# it: each .ui widget, placed in the window, captioned by its first text, title or item.
awk 'function tag(t) { match($0, "<" t ">[0-9]+"); return substr($0, RSTART + length(t) + 2, RLENGTH - length(t) - 2) }
  /<widget / { d++; caption[d] = ""; wanted[d] = 0; found[d] = 0 }
  /<rect>/ { x[d] = x[d - 1] + tag("x"); y[d] = y[d - 1] + tag("y"); place[d] = x[d] " " y[d] " " tag("width") " " tag("height") }
  /name="(text|title|windowTitle)"/ { wanted[d] = 1 }
  /<string/ && wanted[d] && !found[d] { sub(/.*<string[^>]*>/, ""); sub(/<\/string>.*/, ""); caption[d] = $0; found[d] = 1 }
  /<\/widget>/ { print caption[d] "\t" place[d]; d-- }' "$here/../../qt/frmQR.ui" >"$TEST_ENV_DIR/form.txt"
"${launch[@]}" "$loader" "$layout_check" </dev/null >"$TEST_ENV_DIR/window.txt" 2>&1 || fail "no window to measure"
awk -F'\t' 'function near(a, b,  p, q, k) {
    split(a, p, "[\t ]"); split(b, q, "[\t ]")
    for (k = 2; k <= 5; k++) if (p[k] - q[k] > 1 || q[k] - p[k] > 1) return 0
    return p[1] == q[1] }
  { sub(/\r$/, "") }
  NR == FNR { form[NR] = $0; next }
  { for (i in form) if (near(form[i], $0)) { delete form[i]; next }
    print "not in the form: " $0; bad = 1 }
  END { for (i in form) { print "not in the window: " form[i]; bad = 1 }; exit bad }' \
  "$TEST_ENV_DIR/form.txt" "$TEST_ENV_DIR/window.txt" || fail "layout"

# Clicks at a control's centre, given in pixels of the client area.
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
text='Привет, мир! Съешь ещё этих мягких французских булок'
xdotool windowfocus --sync "$window"
click 150 160
printf '%s' "$text" | xclip -selection clipboard -i
xdotool key ctrl+v
# Enter again until the pasted text has arrived (Create is disabled before).
wait_for '[ -f "$folder/QR.bmp" ] || { xdotool key Return; sleep 0.2; false; }' "no QR.bmp after Enter"
settle 0.3
decodes "$folder/QR.bmp"

click 253 237
wait_for 'xclip -selection clipboard -t TARGETS -o 2>/dev/null | grep -qx image/bmp' "no image/bmp"
xclip -selection clipboard -t image/bmp -o >"$TEST_ENV_DIR/clip.bmp"
decodes "$TEST_ENV_DIR/clip.bmp"

# One page named after QR.bmp, the picture 1.34375 in a side, black and white.
click 173 269
wait_for 'ls "$TEST_PDF_DIR"/*.pdf >/dev/null 2>&1' "no PDF printed"
sleep 1
pdf=$(ls "$TEST_PDF_DIR"/*.pdf | head -n1)
[[ $pdf == *QR?bmp* ]] || fail "job name: $pdf"
[ "$(pdfinfo "$pdf" | awk '/^Pages:/ {print $2}')" = 1 ] || fail "not one page"
# poppler smooths a picture it enlarges less than fourfold: render at a
# multiple of 300 dpi with 4 or more device pixels a picture pixel.
bmp_side=$(identify -format '%w' "$folder/QR.bmp")
dpi=$(awk -v w="$bmp_side" 'BEGIN { d = (4 * w + 2) / (1.34375 * 300); print 300 * (d == int(d) ? d : int(d) + 1) }')
pdftoppm -r "$dpi" -gray -png -singlefile "$pdf" "$TEST_ENV_DIR/page"
page=$TEST_ENV_DIR/page.png
decodes "$page"
# The dark modules' extent, on paper and in QR.bmp, gives the picture's side.
dark_width() { convert "$1" -threshold 50% -trim -format '%w' info:; }
side=$(awk -v p="$(dark_width "$page")" -v b="$(dark_width "$folder/QR.bmp")" -v w="$bmp_side" \
  -v dpi="$dpi" 'BEGIN { s = p * w / b / dpi; printf "%.4f", s
    exit !(s > 1.34375 * 0.99 && s < 1.34375 * 1.01) }') \
  || fail "printed side $side in, not 1.34375 in"
colours=$(convert "$page" -format '%k' info:)
[ "$colours" -le 2 ] || fail "$colours grey levels on the page, not black and white"

click 253 205
wait_for '[ -s "$opened" ]' "the viewer was not started"
grep -q 'QR.bmp' "$opened" || fail "the viewer got $(cat "$opened")"

printf 'чужой текст' | xclip -selection clipboard -i
sleep 0.5
xdotool windowfocus --sync "$window"
click 253 269
box=$(timeout $((20 * patience)) xdotool search --sync --onlyvisible --name '^QR$' | head -n1) || fail "no question on Exit"
xdotool windowfocus --sync "$box"
settle 0.3
xdotool key Return
wait "$program_pid" || fail "exit status $?"
program_pid=
[ ! -e "$folder/QR.bmp" ] || fail "QR.bmp left after Exit"
[ -f "$folder/qrgenerator.exe" ] && [ -f "$folder/$(basename "$dll")" ] || fail "program or library gone"
[ "$(xclip -selection clipboard -o)" = 'чужой текст' ] || fail "another program's clipboard text lost"
echo "PASS"
