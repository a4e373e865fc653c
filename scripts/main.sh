#!/usr/bin/env bash
# The main job: builds the installer, the package builder and the sample
# package, shows the package's layout and verifies it, then tries it under
# Wine with `quenlith-pack try` (the prefix kept in build/main-run): exit
# code, files written, shortcuts, uninstall entry, product settings, state
# reports, log, and the installed files and uninstall list. Then it tries the
# same package as a double-click (no switches), as a user would, and saves a
# picture of each wizard page it passes under build/main-run/wizard-pages/.
# The sample's product program (the tests' stand-in, signed by the build so
# that the installer launches it) notes each start it is given in
# build/main-run/product-launches.txt, shown after each run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUENLITH_BUILD_DIR:-$root/build}
package=$build/sample/QuenlithSetup-sample.exe
# The builder as users run it: the release build, without sanitizers.
pack=$build/release/tools/quenlith-pack
run_dir=$build/main-run
# What Wine runs here: the shipped 32-bit build, or, on a machine that
# cannot run 32-bit programs, the 64-bit build of the same sources.
if [ "$("$root/tools/try/wine-arch.sh")" = i686 ]; then
  run_package=$package
else
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
echo "== Silent installation under Wine: quenlith-pack try (prefix kept in $run_dir/prefix)"
if [ "$run_package" != "$package" ]; then
  echo "(this machine cannot run 32-bit programs: installing $run_package, the same package around the 64-bit build)"
fi
rm -rf "$run_dir"
# Wine hands the environment on to the installer and from it to the product.
launches=$run_dir/product-launches.txt
export QUENLITH_DOUBLE_RECORD="Z:${launches//\//\\}"
show_launches() {
  echo
  echo "== The product as the installer launched it ($launches)"
  if [ -f "$launches" ]; then tr -d '\r' <"$launches"; else echo "(not launched)"; fi
}
"$pack" try "$run_package" --keep "$run_dir"
show_launches

destination=$run_dir/prefix/drive_c/ProgramData/Quenlith/bin
echo
echo "== Installed into C:\\ProgramData\\Quenlith\\bin"
(cd "$destination" && find . -type f -printf '%TY-%Tm-%Td %TH:%TM  %10s  %P\n' | sort -k4)
echo
echo "== uninstall.ini"
tr -d '\r' <"$destination/uninstall.ini"

echo
echo "== Double-click under Wine: quenlith-pack try --wizard, the same package without switches, as a user starts it"
rm -f "$launches"
"$pack" try "$run_package" --wizard --pictures "$run_dir/wizard-pages"
show_launches
