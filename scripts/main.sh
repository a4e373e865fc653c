#!/usr/bin/env bash
# The main job: builds the installer, the package builder and the sample
# package, then shows the package's layout and verifies it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUENLITH_BUILD_DIR:-$root/build}
package=$build/sample/QuenlithSetup-sample.exe
pack=$build/tools/quenlith-pack

"$root/scripts/build.sh"

echo
echo "== Sample package: $package"
"$pack" inspect "$package"
echo
echo "== Verify"
"$pack" verify "$package"
