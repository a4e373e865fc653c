#!/usr/bin/env bash
# Benchmark of a silent installation under Wine: the reference payload (777
# files, 66,775,654 bytes) packed by quenlith-pack and installed with
# /silent, against `bzip2 -dc` of the same payload section natively (the
# floor) and NSIS 3 (SetCompressor bzip2) installing the same files with /S,
# in turns, BENCH_RUNS times each (default 3); then the installer's peak
# memory for that payload and for one four times as large. Prints medians
# and ratios. Goals: within 1.3 times the floor, faster than NSIS, peak
# memory that does not grow with the payload.
set -euo pipefail
# shellcheck source=bench/lib.sh
source "$(dirname "$0")/lib.sh"
wine_env=$root/tests/harness/wine-env.sh
pack=$build/tools/quenlith-pack
installer=$build/windows/bin/QuenlithSetup.exe

"$root/scripts/build.sh" >/dev/null
mkdir -p "$work"
make_payload "$work/payload" 66775654 777
make_payload "$work/payload4" 267102616 3108

printf '[install]\r\nInstallerSilent=1\r\n[destination]\r\nDestinationAuto=1\r\nDestinationProgramData=1\r\n' \
  >"$work/install.ini"
"$pack" build "$installer" "$work/payload" "$work/install.ini" -o "$work/setup.exe" 2>/dev/null
"$pack" build "$installer" "$work/payload4" "$work/install.ini" -o "$work/setup4.exe" 2>/dev/null
payload_section "$pack" "$work/setup.exe" >"$work/payload.bz2"

# NSIS: the same files, bzip2, installed silently.
cat >"$work/peer.nsi" <<NSI
Unicode true
SetCompressor bzip2
OutFile "$work/nsis-setup.exe"
InstallDir "C:\\NsisBench"
RequestExecutionLevel user
Section
  SetOutPath "\$INSTDIR"
  File /r "$work/payload/*"
SectionEnd
NSI
makensis -V1 "$work/peer.nsi" >/dev/null

"$wine_env" up "$work/wine" "$build/windows/bin/wintool.exe"
trap '"$wine_env" down "$work/wine"' EXIT
drive=$work/wine/prefix/drive_c

: >"$work/times.floor"; : >"$work/times.setup"; : >"$work/times.nsis"
for _ in $(seq "$runs"); do
  seconds sh -c "bzip2 -dc '$work/payload.bz2' >/dev/null" >>"$work/times.floor"
  rm -rf "$drive/ProgramData/Quenlith"
  seconds "$wine_env" exec "$work/wine" wine "$work/setup.exe" /silent >>"$work/times.setup"
  rm -rf "$drive/NsisBench"
  seconds "$wine_env" exec "$work/wine" wine "$work/nsis-setup.exe" /S >>"$work/times.nsis"
done
[ -f "$drive/ProgramData/Quenlith/bin/$(cd "$work/payload" && find . -type f | head -n 1)" ] ||
  { echo "the installation did not install the payload" >&2; exit 1; }

peak() {  # PACKAGE: the installer process's peak resident memory in KiB
  rm -rf "$drive/ProgramData/Quenlith"
  "$wine_env" exec "$work/wine" /usr/bin/time -f %M wine "$1" /silent 2>&1 >/dev/null | tail -n 1
}
peak1=$(peak "$work/setup.exe")
peak4=$(peak "$work/setup4.exe")

f=$(median <"$work/times.floor"); s=$(median <"$work/times.setup"); n=$(median <"$work/times.nsis")
echo "reference payload: 777 files, 66,775,654 bytes; $runs runs each; $(nproc) processors"
printf 'median seconds: bzip2 -dc %.2f   silent install %.2f   NSIS /S %.2f\n' "$f" "$s" "$n"
awk -v f="$f" -v s="$s" -v n="$n" -v p1="$peak1" -v p4="$peak4" 'BEGIN {
  printf "install / bzip2 -dc      = %.2f   (goal: at most 1.30)\n", s / f
  printf "install / NSIS           = %.2f   (goal: below 1.00)\n", s / n
  printf "peak memory: %d KiB, with 4x the payload %d KiB, ratio %.2f   (goal: about 1.00)\n", p1, p4, p4 / p1
}'
