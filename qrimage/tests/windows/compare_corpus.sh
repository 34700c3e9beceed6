#!/usr/bin/env bash
# Byte identity of the Windows and the Linux library: corpus_writer built for
# each writes the same corpus (PNG files, PNG blocks, BMP files), the Linux
# one natively, the Windows one under Wine; every file must be equal.
# Usage: compare_corpus.sh LINUX_BUILD WINDOWS_WRITER
set -euo pipefail
linux_writer=$1/qrimage/tests/corpus_writer
library=$1/qrimage/libqrimage.so.1
if [ ! -x "$linux_writer" ]; then
  echo "no Linux corpus writer at $linux_writer: build the Linux tree first"
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/linux" "$work/windows" "$work/lib"
# The Linux writer uses a private copy of the library, so that the colours it
# sets belong to that copy alone; the last process out removes its colours.
cp -L "$library" "$work/lib/"
(cd "$work/linux" && LD_LIBRARY_PATH="$work/lib" "$linux_writer")
wine_run=$(cd "$(dirname "$0")/../../.." && pwd)/scripts/wine-run
(cd "$work/windows" && "$wine_run" "$2") || exit $?
count=$(ls "$work/linux" | wc -l)
if ! diff -r "$work/linux" "$work/windows"; then
  echo "the Windows library wrote other bytes than the Linux one"
  exit 1
fi
echo "$count files identical"
[ "$count" -gt 300 ]
