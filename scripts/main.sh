#!/usr/bin/env bash
# The main job: builds the installer, the package builder and the sample
# package, shows the package's layout and verifies it, then installs it
# silently under Wine (in a prefix of its own under the build tree) and shows
# what the installation did: exit code, installed files, uninstall list, log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUENLITH_BUILD_DIR:-$root/build}
package=$build/sample/QuenlithSetup-sample.exe
pack=$build/tools/quenlith-pack
wine_env=$root/tests/harness/wine-env.sh
run_dir=$build/main-run

"$root/scripts/build.sh"

echo
echo "== Sample package: $package"
"$pack" inspect "$package"
echo
echo "== Verify"
"$pack" verify "$package"

echo
echo "== Silent installation under Wine (prefix: $run_dir/prefix)"
"$wine_env" up "$run_dir" "$build/windows/bin/wintool.exe"
trap '"$wine_env" down "$run_dir"' EXIT
windows_package="Z:${package//\//\\}"
"$wine_env" run "$run_dir" "$build/windows/bin/runexit.exe" "$windows_package" /silent /debug | tr -d '\r'

destination=$run_dir/prefix/drive_c/ProgramData/Quenlith/bin
echo
echo "== Installed into C:\\ProgramData\\Quenlith\\bin"
(cd "$destination" && find . -type f -printf '%TY-%Tm-%Td %TH:%TM  %10s  %P\n' | sort -k4)
echo
echo "== uninstall.ini"
tr -d '\r' <"$destination/uninstall.ini"
echo
echo "== Setup log (on the desktop)"
for log in "$run_dir"/prefix/drive_c/users/*/Desktop/Quenlith-setup-*.log; do
  echo "$log"
  tr -d '\r' <"$log"
done
