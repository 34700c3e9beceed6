#!/usr/bin/env bash
# Checks that a library file exports exactly the public functions of
# qrimage.h, nothing more and nothing less.
# Usage: check_exports.sh NM LIBRARY
set -euo pipefail
expected="DeleteObject DestroyBuffer GenerateBMPA GenerateBMPW GeneratePNGA GeneratePNGW
GetBackgroundColor GetForegroundColor GetHBitmapA GetHBitmapW GetObjectW GetPNGA GetPNGW
SetBackgroundColor SetForegroundColor"
actual=$("$1" -D --defined-only "$2" | awk '{ print $NF }' | sort)
if ! diff <(tr ' ' '\n' <<<"$expected" | sort) <(echo "$actual"); then
    echo "exports of $2 differ from the public functions ('<' missing, '>' unexpected)"
    exit 1
fi
