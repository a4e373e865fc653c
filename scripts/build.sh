#!/usr/bin/env bash
# Installs what is missing, then builds everything into build/ (or
# $QUENLITH_BUILD_DIR): the native side (package builder, tests, with
# sanitizers) and the Windows side (installer, product double, helpers).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUENLITH_BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
fi
cmake --build "$build"
