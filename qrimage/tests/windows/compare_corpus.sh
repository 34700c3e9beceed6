#!/usr/bin/env bash
# Byte identity of the Windows and the Linux library: corpus_writer built for
# each writes the same corpus (PNG files, PNG blocks, BMP files), the Linux
# one natively, the Windows one under Wine; every file must be equal.
# Usage: compare_corpus.sh LINUX_BUILD WINDOWS_WRITER
set -euo pipefail
linux_writer=$1/qrimage/tests/corpus_writer
[ -x "$linux_writer" ] || { echo "no $linux_writer: build the Linux tree first"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/linux" "$work/windows" "$work/lib"
# A private copy of the Linux library, so that the colours the writer sets
# belong to that copy alone.
cp -L "$1/qrimage/libqrimage.so.1" "$work/lib/"
(cd "$work/linux" && LD_LIBRARY_PATH="$work/lib" "$linux_writer")
(cd "$work/windows" && "$(dirname "$0")/../../../scripts/wine-run" "$2") || exit $?
diff -r "$work/linux" "$work/windows" || { echo "the Windows library wrote other bytes"; exit 1; }
count=$(ls "$work/linux" | wc -l)
echo "$count files identical"
[ "$count" -gt 300 ]
