#!/usr/bin/env bash
# Checks that a library file exports exactly the public functions of
# qrimage.h, nothing more and nothing less.
# Usage: check_exports.sh NM LIBRARY
set -euo pipefail
nm_tool=$1
library=$2

expected=$(sort <<'NAMES'
DeleteObject
DestroyBuffer
GenerateBMPA
GenerateBMPW
GeneratePNGA
GeneratePNGW
GetBackgroundColor
GetForegroundColor
GetHBitmapA
GetHBitmapW
GetObjectW
GetPNGA
GetPNGW
SetBackgroundColor
SetForegroundColor
NAMES
)
actual=$("$nm_tool" -D --defined-only "$library" | awk '{ print $NF }' | sort)

if [ "$actual" != "$expected" ]; then
    echo "exports of $library differ from the public functions:"
    diff <(echo "$expected") <(echo "$actual") | sed -n 's/^</missing:/p; s/^>/unexpected:/p'
    exit 1
fi
echo "exports: $(echo "$actual" | wc -l) names as expected"
