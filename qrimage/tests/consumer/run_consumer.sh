#!/usr/bin/env bash
# Installs the project into a temporary prefix, builds consumer.c against the
# installed copy as C with pkg-config, and runs it.
# Usage: run_consumer.sh BUILD_DIR C_COMPILER CONSUMER_SOURCE [EXTRA_FLAGS...]
set -euo pipefail
build=$1 cc=$2 source=$3
shift 3
prefix=$(mktemp -d "${TMPDIR:-/tmp}/qrimage-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
pc=$(find "$prefix" -name qrimage.pc)
libdir=$(dirname "$(dirname "$pc")")
library=$libdir/libqrimage.so
# The development link and the SONAME link lead to the real file.
[ "$(readlink "$library")" = libqrimage.so.1 ] || { echo "bad libqrimage.so link"; exit 1; }
[[ $(readlink "$library.1") == libqrimage.so.1.* ]] || { echo "bad libqrimage.so.1 link"; exit 1; }
objdump -p "$library" | grep -q 'SONAME *libqrimage.so.1$' || { echo "bad SONAME"; exit 1; }
# The .pc file names the configured prefix; point it at the temporary one.
flags=$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --define-variable=prefix="$prefix" \
    --cflags --libs qrimage)
# shellcheck disable=SC2086
"$cc" -std=c11 -Wall -Wextra -Wpedantic -Werror "$@" -o "$prefix/consumer" -x c "$source" -x none \
    $flags -Wl,-rpath,"$libdir"
"$prefix/consumer"
# The consumer was the last process with the library loaded: its colour
# object went with it.
object=qrimage-colours-$(id -u)-$(stat -L -c %d-%i "$library")-
if compgen -G "${XDG_RUNTIME_DIR:-/dev/shm}/$object*" >/dev/null || compgen -G "/dev/shm/$object*" >/dev/null; then
    echo "colour object left behind"; exit 1
fi
