#!/usr/bin/env bash
# Installs the project into a temporary prefix, builds consumer.c against the
# installed copy as C with pkg-config, and runs it.
# Usage: run_consumer.sh BUILD_DIR C_COMPILER CONSUMER_SOURCE [EXTRA_FLAGS...]
set -euo pipefail
build=$1
cc=$2
source=$3
shift 3

prefix=$(mktemp -d "${TMPDIR:-/tmp}/qrimage-install.XXXXXX")
library=""
cleanup() {
    # The consumer set colours: drop the shared object of the installed file.
    if [ -n "$library" ] && [ -e "$library" ]; then
        read -r device inode < <(stat -L -c '%d %i' "$library")
        rm -f /dev/shm/qrimage-colours-"$(id -u)"-"$device"-"$inode"-*
    fi
    rm -rf "$prefix"
}
trap cleanup EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

pc=$(find "$prefix" -name qrimage.pc -print -quit)
[ -n "$pc" ] || { echo "qrimage.pc was not installed"; exit 1; }
libdir=$(dirname "$(dirname "$pc")")
library=$libdir/libqrimage.so
[ -f "$prefix/include/qrimage.h" ] || { echo "qrimage.h was not installed"; exit 1; }

# The development link and the SONAME link lead to the real file.
[ "$(readlink "$libdir/libqrimage.so")" = libqrimage.so.1 ] || { echo "bad libqrimage.so link"; exit 1; }
real=$(readlink "$libdir/libqrimage.so.1")
[[ $real == libqrimage.so.1.* && -f $libdir/$real && ! -L $libdir/$real ]] ||
    { echo "bad libqrimage.so.1 link: $real"; exit 1; }
objdump -p "$library" | grep -q 'SONAME *libqrimage.so.1$' || { echo "bad SONAME"; exit 1; }

# The .pc file names the configured prefix; point it at the temporary one.
flags=$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --define-variable=prefix="$prefix" \
    --cflags --libs qrimage)
# shellcheck disable=SC2086
"$cc" -std=c11 -Wall -Wextra -Wpedantic -Werror "$@" -o "$prefix/consumer" -x c "$source" -x none \
    $flags -Wl,-rpath,"$libdir"
"$prefix/consumer"
