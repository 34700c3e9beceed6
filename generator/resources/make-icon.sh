#!/bin/sh
# Draws the program's icon, a small QR-like glyph in navy on white inside a
# blue frame, as 48x48, 32x32 and 16x16 images of 16 colours, and packs the
# two smaller ones into qrgenerator.ico. The PNG copies are the icon theme's
# files for the desktop entry (48x48 the size menus look for first). Needs
# ImageMagick; run it from this folder. Its outputs are committed.
set -eu
convert=/usr/bin/convert
[ -x "$convert" ] || convert=convert

# 13 x 13 modules: three finder patterns and a few data modules.
glyph='
######.######
#....#.#....#
#.##.#.#.##.#
#.##.#.#.##.#
#....#.#....#
######.######
.............
######.#.##.#
#....#..#.##.
#.##.#.##..##
#.##.#..#.#..
#....#.##.#.#
######.#..###'

draw() { # draw SIZE MODULE OFFSET OUTPUT
  size=$1 module=$2 offset=$3 out=$4
  rects=$(printf '%s\n' "$glyph" | awk -v m="$module" -v o="$offset" 'NF {
      for (x = 1; x <= length($0); x++) if (substr($0, x, 1) == "#")
        printf " rectangle %d,%d %d,%d", o + (x - 1) * m, o + y * m, o + x * m - 1, o + (y + 1) * m - 1
      y++ }')
  "$convert" -size "${size}x${size}" xc:white \
    -fill none -stroke blue -draw "rectangle 0,0 $((size - 1)),$((size - 1))" \
    -stroke none -fill navy -draw "$rects" -colors 16 -type Palette "PNG8:$out"
}

draw 48 3 4 qrgenerator-48.png
draw 32 2 3 qrgenerator-32.png
draw 16 1 1 qrgenerator-16.png
"$convert" qrgenerator-32.png qrgenerator-16.png -colors 16 -type Palette -compress None qrgenerator.ico
