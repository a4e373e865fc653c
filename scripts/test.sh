#!/usr/bin/env bash
# Runs the whole test suite: native tests with sanitizers, the fuzz target
# for a bounded number of inputs, and the end-to-end tests under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUENLITH_BUILD_DIR:-$root/build}

"$root/scripts/build.sh"
ctest --test-dir "$build" --output-on-failure -j2
