#!/usr/bin/env bash
# Installs what is missing, then builds everything into build/ (or
# $QUENLITH_BUILD_DIR): the native side (package builder, tests, with
# sanitizers) and the Windows side (installer, product double, helpers).
# Then $build/run-arch names the architecture its runs under Wine use.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUENLITH_BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
fi
# QUENLITH_WINE_ARCH (see tools/try/wine-arch.sh) is kept in the build
# folder's cache; a different value given now configures the folder again.
if [ -n "${QUENLITH_WINE_ARCH+set}" ] &&
  ! grep -qx "QUENLITH_WINE_ARCH:STRING=$QUENLITH_WINE_ARCH" "$build/CMakeCache.txt"; then
  cmake "$build" -DQUENLITH_WINE_ARCH="$QUENLITH_WINE_ARCH" >/dev/null
fi
cmake --build "$build"
