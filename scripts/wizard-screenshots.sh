#!/usr/bin/env bash
# Screenshots of the wizard's three pages at 96 DPI (or the DPI given as the
# first argument), taken under Wine and Xvfb (in a prefix with Wine's Tahoma)
# from the Windows build the build folder runs (its run-arch), into
# build/wizard-screenshots/ (or $QUENLITH_BUILD_DIR). Needs a finished
# ./scripts/build.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUENLITH_BUILD_DIR:-$root/build}
dpi=${1:-96}
# The architecture the build runs under Wine; the prefix script follows it.
export QUENLITH_WINE_ARCH
QUENLITH_WINE_ARCH=$(cat "$build/run-arch")
arch=$QUENLITH_WINE_ARCH
if [ "$arch" = x86_64 ]; then bin=$build/windows-x86_64/bin; else bin=$build/windows/bin; fi
out=$build/wizard-screenshots
work=$build/wizard-screenshots-work
envsh=$root/tools/try/wine-env.sh
wine_dir=$work/wine
class="Quenlith: Setup"
# The number the installer names a control by (IDC_DESTINATION, ...).
setup_id() { sed -n "s/^#define $1 \([0-9]*\).*/\1/p" "$root/resources/setup_ids.h"; }

mkdir -p "$out" "$work/payload"
"$envsh" up "$wine_dir" "$bin" >/dev/null
trap '"$envsh" down "$wine_dir" >/dev/null 2>&1 || true' EXIT
display=$(cat "$wine_dir/display")
"$envsh" exec "$wine_dir" wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null

product=$build/windows-x86_64/product/Quenlith.exe
[ "$arch" = x86_64 ] || product=$build/windows/product/Quenlith.exe
cp "$product" "$work/payload/Quenlith.exe"
echo "payload" >"$work/payload/readme.txt"

tool() { "$envsh" exec "$wine_dir" wine "$bin/wintool.exe" "$@"; }

# Crops the root window to the wizard's outer rectangle.
shoot() {
  local name=$1 info x y w h
  info=$(tool window "$class" 30000)
  x=$(sed -n 's/^position=\([-0-9]*\),.*/\1/p' <<<"$info" | tr -d '\r')
  y=$(sed -n 's/^position=[-0-9]*,\([-0-9]*\).*/\1/p' <<<"$info" | tr -d '\r')
  w=$(sed -n 's/^outer=\([0-9]*\)x.*/\1/p' <<<"$info" | tr -d '\r')
  h=$(sed -n 's/^outer=[0-9]*x\([0-9]*\).*/\1/p' <<<"$info" | tr -d '\r')
  sleep 1
  /usr/bin/import -display "$display" -window root -crop "${w}x${h}+${x}+${y}" +repage "$out/$name.png"
  echo "$out/$name.png"
}

package() {  # SCRIPT_TEXT NAME
  printf '%s' "$1" >"$work/$2.ini"
  "$build/release/tools/quenlith-pack" build "$bin/QuenlithSetup.exe" "$work/payload" "$work/$2.ini" -o "$work/$2.exe" >/dev/null
}

texts='[install]
InstallerName=Quenlith Setup
[product]
ProductInstructionsInstallingDescription=Quenlith will be ready in just a few moments.
ProductInstructionsEndDescription=Click Launch to start Quenlith.
ProductLocationNotice=Quenlith will only automatically update at the default location.
[setup]
SetupStartMenu=1
SetupDesktopIcon=1
SetupUninstallInformation=1
SetupCheckIfQuenlithExiting=1
'
package "$texts
[destination]
DestinationProgramData=1
[launch]
LaunchAuto=0
LaunchTarget=Quenlith.exe
" location
package "$texts
[destination]
DestinationAuto=1
[launch]
LaunchAuto=0
LaunchTarget=Quenlith.exe
" automatic

# Location page, away from the default location so that the notice shows.
"$envsh" exec "$wine_dir" wine "$work/location.exe" >/dev/null 2>&1 &
tool window "$class" 30000 >/dev/null
tool settext "$class" "$(setup_id IDC_DESTINATION)" 'D:\Apps\Quenlith' >/dev/null
# The caret where typing leaves it, after the last character: setting the
# text puts it before the first, and there its blink inverts that letter.
tool key "$class" 35 >/dev/null
shoot location
tool dismiss "$class" 10000 >/dev/null || true
wait

# Installing page: the install waits while the product double runs.
"$envsh" exec "$wine_dir" wine "$product" >/dev/null 2>&1 &
tool find Quenlith Quenlith 20000
"$envsh" exec "$wine_dir" wine "$work/automatic.exe" /location 'C:\Shots' >/dev/null 2>&1 &
setup_pid=$!
tool window "$class" 30000 >/dev/null
shoot installing
tool close Quenlith Quenlith || true

# Complete page.
for _ in $(seq 100); do
  tool children "$class" | grep -q 'text=&Launch' && break
  sleep 0.2
done
shoot complete
tool dismiss "$class" 10000 >/dev/null || true
wait "$setup_pid" || true
