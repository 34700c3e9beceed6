#!/usr/bin/env bash
# The Win32 window program under Wine on a private X server and spooler:
# wine_gui.sh PROGRAM DLL LAYOUT_CHECK PREFIX
# Starts PROGRAM from a fresh folder with Cyrillic letters and a space in its
# name, pastes a Cyrillic text, presses Enter and reads QR.bmp back (zbar);
# checks the layout (LAYOUT_CHECK, a screenshot beside PREFIX), Copy
# (image/bmp on the X clipboard), Print (the private cupsd's PDF queue), Open
# (a stand-in viewer registered for .bmp in the prefix) and Exit -> Yes (status
# 0, QR.bmp gone, program and library copy left, another program's clipboard
# text kept). Exit status 77 where Wine cannot start the program's bitness.
set -euo pipefail
program=$1 dll=$2 layout_check=$3 prefix=$4
here=$(cd "$(dirname "$0")" && pwd)
if [[ $(file -b "$program") == *PE32+* ]]; then loader=/usr/lib/wine/wine64; else loader=/usr/lib/wine/wine; fi
if ! "$loader" --version >/dev/null 2>&1; then
  echo "SKIPPED: $loader cannot run on this kernel ($(uname -r))"
  exit 77
fi
# shellcheck source=../../../scripts/test-env.sh
source "$here/../../../scripts/test-env.sh"
export WINEPREFIX=$prefix WINELOADER=$loader WINEDEBUG=-all
cleanup() {
  [ -n "${program_pid:-}" ] && kill "$program_pid" 2>/dev/null
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  test_env_stop
}
trap cleanup EXIT
test_env_start
mkdir -p "$prefix"
wineserver -p </dev/null >/dev/null 2>&1
[ -f "$prefix/system.reg" ] || "$loader" wineboot -i >/dev/null 2>&1 </dev/null
fail() { echo "FAIL: $*"; exit 1; }
wait_for() { for _ in $(seq 100); do eval "$1" && return 0; sleep 0.1; done; fail "$2"; }

# A stand-in viewer for .bmp: Wine's own cmd.exe records what it is given.
opened=$TEST_ENV_DIR/opened.log
"$loader" reg add 'HKLM\Software\Classes\.bmp' /ve /d qrtest.bitmap /f >/dev/null 2>&1
"$loader" reg add 'HKLM\Software\Classes\qrtest.bitmap\shell\open\command' /ve \
  /d "C:\\windows\\system32\\cmd.exe /c echo %1>>Z:${opened//\//\\}" /f >/dev/null 2>&1

folder="$TEST_ENV_DIR/папка с программой"
mkdir "$folder"
cp "$program" "$folder/qrgenerator.exe"
(cd "$TEST_ENV_DIR" && LC_ALL=ru_RU.UTF-8 exec "$loader" "$folder/qrgenerator.exe" </dev/null >/dev/null 2>&1) &
program_pid=$!
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^QR генератор$' | head -n1)
[ -n "$window" ] || fail "no window"
cmp "$folder/$(basename "$dll")" "$dll" || fail "the library copy differs from $(basename "$dll")"

echo "-- layout"
# Layout: every control where the design puts it; a screenshot as artefact.
"$loader" "$layout_check" </dev/null >"$TEST_ENV_DIR/layout.txt" 2>&1 \
  || { cat "$TEST_ENV_DIR/layout.txt"; fail "layout"; }
import -window root "$prefix/../window-$(basename "$program" .exe).png" || true

echo "-- create"
# Clicks at a control's centre, given in pixels of the client area.
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
text='Привет, мир! Съешь ещё этих мягких французских булок'
xdotool windowfocus --sync "$window"
click 150 160
printf '%s' "$text" | xclip -selection clipboard -i
xdotool key ctrl+v
sleep 0.5
xdotool key Return
wait_for '[ -f "$folder/QR.bmp" ]' "no QR.bmp after Enter"
sleep 0.3
[ "$(zbarimg -q --raw -Sbinary "$folder/QR.bmp")" = "$text" ] || fail "QR.bmp does not decode to the text"

echo "-- copy"
# Copy: image/bmp offered, and it is the picture.
click 253 237
wait_for 'xclip -selection clipboard -t TARGETS -o 2>/dev/null | grep -qx image/bmp' "no image/bmp"
xclip -selection clipboard -t image/bmp -o >"$TEST_ENV_DIR/clip.bmp"
[ "$(zbarimg -q --raw -Sbinary "$TEST_ENV_DIR/clip.bmp")" = "$text" ] || fail "the clipboard picture"

echo "-- print"
# Print: one page, the picture 1.34375 in a side, black and white, readable.
click 173 269
wait_for 'ls "$TEST_PDF_DIR"/*.pdf >/dev/null 2>&1' "no PDF printed"
sleep 1
pdf=$(ls "$TEST_PDF_DIR"/*.pdf | head -n1)
[ "$(pdfinfo "$pdf" | awk '/^Pages:/ {print $2}')" = 1 ] || fail "not one page"
! pdfimages -list "$pdf" | awk 'NR > 2 {print $9}' | grep -qv image || fail "a lossy image"
# poppler smooths a picture it enlarges less than fourfold: render at a
# multiple of 300 dpi with 4 or more device pixels a picture pixel.
bmp_side=$(identify -format '%w' "$folder/QR.bmp")
dpi=$(awk -v w="$bmp_side" 'BEGIN { d = (4 * w + 2) / (1.34375 * 300); print 300 * (d == int(d) ? d : int(d) + 1) }')
pdftoppm -r "$dpi" -gray -png -singlefile "$pdf" "$TEST_ENV_DIR/page"
page=$TEST_ENV_DIR/page.png
[ "$(zbarimg -q --raw -Sbinary "$page")" = "$text" ] || fail "the printed page does not decode"
# The dark modules' extent, on paper and in QR.bmp, gives the picture's side.
dark_width() { convert "$1" -threshold 50% -trim -format '%w' info:; }
side=$(awk -v p="$(dark_width "$page")" -v b="$(dark_width "$folder/QR.bmp")" -v s="$bmp_side" \
  -v dpi="$dpi" 'BEGIN { printf "%.4f", p * s / b / dpi }')
awk -v s="$side" 'BEGIN { exit !(s > 1.34375 * 0.99 && s < 1.34375 * 1.01) }' \
  || fail "printed side $side in, not 1.34375 in"
colours=$(convert "$page" -format '%k' info:)
[ "$colours" -le 2 ] || fail "$colours grey levels on the page, not black and white"

echo "-- open"
# Open: the viewer is handed QR.bmp.
click 253 205
wait_for '[ -s "$opened" ]' "the viewer was not started"
grep -q 'QR.bmp' "$opened" || fail "the viewer got $(cat "$opened")"

echo "-- exit"
# Another program's text after Copy survives Exit; Exit -> Yes ends with 0.
printf 'чужой текст' | xclip -selection clipboard -i
sleep 0.5
xdotool windowfocus --sync "$window"
click 253 269
box=$(timeout 20 xdotool search --sync --onlyvisible --name '^QR$' | head -n1) \
  || { import -window root "$prefix/../exit-failed.png"; fail "no question on Exit"; }
xdotool windowfocus --sync "$box"
sleep 0.3
xdotool key Return
status=0
wait "$program_pid" || status=$?
program_pid=
[ "$status" = 0 ] || fail "exit status $status"
[ ! -e "$folder/QR.bmp" ] || fail "QR.bmp left after Exit"
[ -f "$folder/qrgenerator.exe" ] && [ -f "$folder/$(basename "$dll")" ] || fail "program or library gone"
[ "$(xclip -selection clipboard -o)" = 'чужой текст' ] || fail "another program's clipboard text lost"
echo "PASS"
