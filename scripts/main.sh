#!/usr/bin/env bash
# The main job: builds the installer, the package builder and the sample
# package, shows the package's layout and verifies it, then installs it
# silently under Wine (in a prefix of its own under the build tree) and shows
# what the installation did: exit code, installed files, uninstall list,
# shortcuts, uninstall entry, product settings, log. Then it starts the same
# package as a double-click (no switches) under Xvfb, as a user would, and
# saves a screenshot of each wizard page it passes under
# build/main-run/wizard-pages/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUENLITH_BUILD_DIR:-$root/build}
package=$build/sample/QuenlithSetup-sample.exe
# The builder as users run it: the release build, without sanitizers.
pack=$build/release/tools/quenlith-pack
wine_env=$root/tools/try/wine-env.sh
run_dir=$build/main-run
# What Wine runs here: the shipped 32-bit build, or, on a machine that
# cannot run 32-bit programs, the 64-bit build of the same sources.
if [ "$("$root/tools/try/wine-arch.sh")" = i686 ]; then
  run_bin=$build/windows/bin
  run_package=$package
else
  run_bin=$build/windows-x86_64/bin
  run_package=$build/sample/QuenlithSetup-sample-x86_64.exe
fi

"$root/scripts/build.sh"

echo
echo "== Sample package: $package"
"$pack" inspect "$package"
echo
echo "== Verify"
"$pack" verify "$package"

echo
echo "== Silent installation under Wine (prefix: $run_dir/prefix)"
if [ "$run_package" != "$package" ]; then
  echo "(this machine cannot run 32-bit programs: installing $run_package, the same package around the 64-bit build)"
fi
"$wine_env" up "$run_dir" "$run_bin"
trap '"$wine_env" down "$run_dir"' EXIT
windows_package="Z:${run_package//\//\\}"
"$wine_env" run "$run_dir" "$run_bin/runexit.exe" "$windows_package" /silent /debug | tr -d '\r'

destination=$run_dir/prefix/drive_c/ProgramData/Quenlith/bin
echo
echo "== Installed into C:\\ProgramData\\Quenlith\\bin"
(cd "$destination" && find . -type f -printf '%TY-%Tm-%Td %TH:%TM  %10s  %P\n' | sort -k4)
echo
echo "== uninstall.ini"
tr -d '\r' <"$destination/uninstall.ini"
user=$(cd "$run_dir"/prefix/drive_c/users && ls -d */Desktop | grep -v '^Public/' | head -n 1 | cut -d/ -f1)
profile=$run_dir/prefix/drive_c/users/$user
echo
echo "== Shortcuts"
find "$profile/Desktop/" "$profile/AppData/Roaming/Microsoft/Windows/Start Menu" -name '*.lnk' -printf '%p\n' 2>/dev/null |
  sed "s|^$run_dir/prefix/drive_c/|C:/|"
echo
echo "== Uninstall entry (HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quenlith)"
"$wine_env" exec "$run_dir" wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quenlith' |
  tr -d '\r' | grep REG_
echo
echo "== Product settings (%APPDATA%\Quenlith\users\global\quenlith.ini)"
tr -d '\r' <"$profile/AppData/Roaming/Quenlith/users/global/quenlith.ini"
echo
echo "== Setup log (on the desktop)"
for log in "$run_dir"/prefix/drive_c/users/*/Desktop/Quenlith-setup-*.log; do
  echo "$log"
  tr -d '\r' <"$log"
done

echo
echo "== Double-click under Wine: the same package without switches, as a user starts it"
shots=$build/main-run/wizard-pages
rm -rf "$shots" && mkdir -p "$shots"
"$wine_env" exec "$run_dir" wine "$run_bin/runexit.exe" "$windows_package" >"$run_dir/double-click.out" 2>&1 &
setup_pid=$!
# Keeps a picture of each page the wizard passes until it closes.
"$wine_env" run "$run_dir" "$run_bin/pagewatch.exe" "Quenlith: Setup" "Z:${shots//\//\\}" 120000 |
  tr -d '\r' | sed 's/^/wizard page: /' || echo "the wizard did not close within two minutes"
wait "$setup_pid" || true
tr -d '\r' <"$run_dir/double-click.out" | grep '^exit=' | sed 's/^exit=/exit code: /'
for picture in "$shots"/*.ppm; do
  [ -e "$picture" ] || continue
  /usr/bin/convert "$picture" "${picture%.ppm}.png" && rm "$picture"
  echo "screenshot: ${picture%.ppm}.png"
done
echo "(a double-click writes no setup log; /debug turns it on)"
