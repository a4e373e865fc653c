#!/usr/bin/env bash
# The main job: builds the installer, the package builder and the sample
# package, shows the package's layout and verifies it, then tries it under
# Wine with `quenlith-pack try` (the prefix kept in build/main-run): exit
# code, files written, shortcuts, uninstall entry, product settings, state
# reports, log, and the installed files and uninstall list. Then it tries the
# same package as a double-click (no switches), as a user would, and saves a
# picture of each wizard page it passes under build/main-run/wizard-pages/.
# After each run it says whether the installer launched the product (the
# sample's product program is signed by the build, so that it is).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUENLITH_BUILD_DIR:-$root/build}
package=$build/sample/QuenlithSetup-sample.exe
# The builder as users run it: the release build, without sanitizers.
pack=$build/release/tools/quenlith-pack
run_dir=$build/main-run

"$root/scripts/build.sh"
# What Wine runs here, as the build found it: the shipped 32-bit build, or,
# on a machine that cannot run 32-bit programs (or with
# QUENLITH_WINE_ARCH=x86_64), the 64-bit build of the same sources. `try`
# takes the same path.
export QUENLITH_WINE_ARCH
QUENLITH_WINE_ARCH=$(cat "$build/run-arch")
if [ "$QUENLITH_WINE_ARCH" = i686 ]; then
  run_package=$package
else
  run_package=$build/sample/QuenlithSetup-sample-x86_64.exe
fi

echo
echo "== Sample package: $package"
"$pack" inspect "$package"
echo
echo "== Verify"
"$pack" verify "$package"

echo
echo "== Silent installation under Wine: quenlith-pack try (prefix kept in $run_dir/prefix)"
if [ "$run_package" != "$package" ]; then
  echo "(this build runs Wine's 64-bit path: installing $run_package, the same package around the 64-bit build)"
fi
rm -rf "$run_dir"
# The product's stand-in notes each start in this file; Wine hands the
# environment on to the installer and from it to the product.
launches=$build/main-run-product-launches.txt
export QUENLITH_DOUBLE_RECORD="Z:${launches//\//\\}"
# Whether the run launched the product: the log writes a line only when a
# launch fails; the stand-in notes its start unless `try` ended the prefix's
# programs first (a silent run exits a moment after the launch).
show_launch() {  # REPORT
  echo
  echo "== Launch of the product"
  if grep -E "Executible not launched|Verification error code" "$1"; then
    return
  fi
  echo "started: the signature verified, and the log names no failure to launch"
  if [ -f "$launches" ]; then
    echo "the product's stand-in noted its start ($launches):"
    tr -d '\r' <"$launches"
  else
    echo "(the product's stand-in was ended with the prefix's programs before it noted its start)"
  fi
  rm -f "$launches"
}
rm -f "$launches"
"$pack" try "$run_package" --keep "$run_dir" | tee "$build/main-run-silent.txt"
show_launch "$build/main-run-silent.txt"

destination=$run_dir/prefix/drive_c/ProgramData/Quenlith/bin
echo
echo "== Installed into C:\\ProgramData\\Quenlith\\bin"
(cd "$destination" && find . -type f -printf '%TY-%Tm-%Td %TH:%TM  %10s  %P\n' | sort -k4)
echo
echo "== uninstall.ini"
tr -d '\r' <"$destination/uninstall.ini"

echo
echo "== Double-click under Wine: quenlith-pack try --wizard, the same package without switches, as a user starts it"
"$pack" try "$run_package" --wizard --pictures "$run_dir/wizard-pages" | tee "$build/main-run-wizard.txt"
show_launch "$build/main-run-wizard.txt"
