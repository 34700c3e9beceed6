#!/usr/bin/env bash
# Installs the project into a temporary prefix and checks the library there:
# links, SONAME, exactly its header's functions exported, and consumer.c
# built against it as C with pkg-config and with the CMake package, then run.
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
declared=$(grep -oE 'QRIMAGE_CALL [A-Za-z]+\(' "$(find "$prefix" -name qrimage.h)" | tr -d '(' |
    cut -d' ' -f2 | sort)
exported=$(nm -D --defined-only "$library" | awk '{ print $NF }' | sort)
if [ "$declared" != "$exported" ]; then
    echo "exports differ from the header's functions ('<' missing, '>' unexpected):"
    diff <(echo "$declared") <(echo "$exported")
    exit 1
fi
# The .pc file names the configured prefix; point it at the temporary one.
flags=$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --define-variable=prefix="$prefix" \
    --cflags --libs qrimage)
# shellcheck disable=SC2086
"$cc" -std=c11 -Wall -Wextra -Wpedantic -Werror "$@" -o "$prefix/consumer" -x c "$source" -x none \
    $flags -Wl,-rpath,"$libdir"
"$prefix/consumer"

# The CMake package: nothing of this build machine in it, and a project that
# finds it by the prefix alone builds and runs.
if grep -rlF -e "$build" -e "$(cd "$(dirname "$source")/../../.." && pwd)" "$libdir/cmake"; then
    echo "the CMake package names a folder of the build machine"
    exit 1
fi
cmake -S "$(dirname "$source")" -B "$prefix/cmake-consumer" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="$*" -DCMAKE_BUILD_RPATH="$libdir" >/dev/null
cmake --build "$prefix/cmake-consumer" >/dev/null
"$prefix/cmake-consumer/consumer"
