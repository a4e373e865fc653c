#!/usr/bin/env bash
# Benchmark of installations under Wine, in turns, BENCH_RUNS times each
# (default 3), printing medians and ratios with their goals:
# - the reference payload (777 files, 66,775,654 bytes) packed by
#   quenlith-pack with the sample script's settings (uninstall list,
#   shortcuts, uninstall entry, settings), installed with /silent;
# - the same package with its payload rewritten as one bzip2 -9 stream;
# - the floors: bzip2 -dc, pbzip2 -dc -p2 and lbzip2 -dc -n 2 of the same
#   payload section, natively;
# - NSIS 3 (bzip2, solid and non-solid, the same architecture as our
#   installer) installing the same files with /S;
# - the same package run as a double-click (the wizard, automatic
#   destination, no launch) until its complete page shows;
# - packages of 10,000 and 100,000 empty files, ours and NSIS's;
# - the installer's own phase times from one run with its log on, and its
#   peak memory for the reference payload and for one four times as large;
# - Wine's own floor: starting a program, and the bare system calls that the
#   extraction of the reference payload and of the 100,000 empty files cannot
#   do without (wintool floor), so that what is ours and what is the
#   platform's can be told apart.
# The machines are shared: compare only within one run.
set -euo pipefail
# shellcheck source=bench/lib.sh
source "$(dirname "$0")/lib.sh"
wine_env=$root/tools/try/wine-env.sh
pack=$build/release/tools/quenlith-pack

"$root/scripts/build.sh" >/dev/null
# Our installer and NSIS's stub for the architecture the build runs under
# Wine (the prefix script follows it).
export QUENLITH_WINE_ARCH
QUENLITH_WINE_ARCH=$(cat "$build/run-arch")
if [ "$QUENLITH_WINE_ARCH" = i686 ]; then
  bin=$build/windows/bin; arch=i686; nsis_target=x86-unicode
else
  bin=$build/windows-x86_64/bin; arch=x86_64; nsis_target=amd64-unicode
fi
installer=${BENCH_INSTALLER:-$bin/QuenlithSetup.exe}  # another build of it, to compare before and after
mkdir -p "$work"
make_payload "$work/payload" 66775654 777
make_payload "$work/payload4" 267102616 3108
make_empty_files() {  # FOLDER COUNT
  [ -d "$1" ] && return 0
  python3 - "$1.tmp" "$2" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    folder = os.path.join(root, "d%03d" % (i // 1000))
    os.makedirs(folder, exist_ok=True)
    open(os.path.join(folder, "f%06d.txt" % i), "wb").close()
PY
  mv "$1.tmp" "$1"
}
make_empty_files "$work/empty10k" 10000
make_empty_files "$work/empty100k" 100000

# The sample script, silent; and the same for the wizard, without the launch.
sed 's/^InstallerSilent=.*/InstallerSilent=1/' "$root/sample/script.ini" >"$work/silent.ini"
sed 's/^InstallerSilent=.*/InstallerSilent=0/; s/^LaunchAuto=.*/LaunchAuto=0/' "$root/sample/script.ini" >"$work/wizard.ini"
"$pack" build "$installer" "$work/payload" "$work/silent.ini" -o "$work/setup.exe" 2>/dev/null
"$pack" build "$installer" "$work/payload" "$work/wizard.ini" -o "$work/wizard.exe" 2>/dev/null
"$pack" build "$installer" "$work/payload4" "$work/silent.ini" -o "$work/setup4.exe" 2>/dev/null
"$pack" build "$installer" "$work/empty10k" "$work/silent.ini" -o "$work/setup10k.exe" 2>/dev/null
"$pack" build "$installer" "$work/empty100k" "$work/silent.ini" -o "$work/setup100k.exe" 2>/dev/null
payload_section "$pack" "$work/setup.exe" >"$work/payload.bz2"
bzip2 -dc "$work/payload.bz2" >"$work/archive"
payload_section "$pack" "$work/setup100k.exe" | bzip2 -dc >"$work/archive100k"
# The same package with its payload as one stream, as other packing tools write it.
bzip2 -dc "$work/payload.bz2" | bzip2 -9 >"$work/single.bz2"
python3 - "$work/setup.exe" "$work/single.bz2" "$work/single.exe" <<'PY'
import struct, sys
package = open(sys.argv[1], "rb").read()
section = open(sys.argv[2], "rb").read()
script_at = struct.unpack("<I", package[-4:])[0]
payload_at = struct.unpack("<I", package[script_at - 4:script_at])[0]
script = package[script_at:-4]
out = package[:payload_at] + section + struct.pack("<I", payload_at)
out += script + struct.pack("<I", len(out))
open(sys.argv[3], "wb").write(out)
PY

# NSIS: the same files, bzip2, solid and not, installed silently.
nsis() {  # NAME FOLDER SOLID
  [ -f "$work/$1.exe" ] && [ "$work/$1.exe" -nt "$0" ] && return 0
  cat >"$work/$1.nsi" <<NSI
Unicode true
Target $nsis_target
SetCompressor $3 bzip2
OutFile "$work/$1.exe"
InstallDir "C:\\NsisBench"
RequestExecutionLevel user
Section
  SetOutPath "\$INSTDIR"
  File /r "$2/*"
SectionEnd
NSI
  makensis -V1 "$work/$1.nsi" >/dev/null
}
nsis nsis-solid "$work/payload" /SOLID
nsis nsis "$work/payload" ""
nsis nsis10k "$work/empty10k" /SOLID
nsis nsis100k "$work/empty100k" /SOLID

"$wine_env" up "$work/wine" "$bin"
trap '"$wine_env" down "$work/wine"' EXIT
drive=$work/wine/prefix/drive_c
in_wine() { "$wine_env" exec "$work/wine" "$@"; }
fresh() {  # what an earlier turn left: files, uninstall entry, shortcuts, settings
  rm -rf "$drive/ProgramData/Quenlith" "$drive/NsisBench" "$drive/users/"*/Desktop/*.lnk \
    "$drive/users/"*/AppData/Roaming/Quenlith "$drive/users/"*/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs/Quenlith*
  in_wine wine reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quenlith' /f >/dev/null 2>&1 || true
  sync
}
ours() { fresh; seconds in_wine wine "$1" /silent; }
theirs() { fresh; seconds in_wine wine "$1" /S; }
# The wizard, from its start to its complete page (the launch button shown).
wizard() {
  fresh
  local start end
  start=$(date +%s.%N)
  in_wine wine "$work/wizard.exe" >/dev/null 2>&1 &
  in_wine wine "$bin/wintool.exe" waitchild "Quenlith: Setup" "$(setup_id IDC_NEXT)" 120000 >/dev/null 2>&1
  end=$(date +%s.%N)
  in_wine wine "$bin/wintool.exe" dismiss "Quenlith: Setup" 10000 >/dev/null 2>&1 || true
  wait
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}

# The bare calls of an extraction, in a folder of their own; prints wintool's own seconds.
floor() {  # ARCHIVE
  rm -rf "$drive/Floor"
  mkdir -p "$drive/Floor"
  sync
  in_wine wine "$bin/wintool.exe" floor "$(winepath_of "$1")" 'C:\Floor' 2>/dev/null | tr -d '\r'
}
winepath_of() { printf 'Z:%s' "${1//\//\\}"; }

names="bzip2 pbzip2 lbzip2 bzip2single setup single wizard nsis-solid nsis setup10k nsis10k setup100k nsis100k"
names="$names start floor floor100k"
for name in $names; do : >"$work/times.$name"; done
for _ in $(seq "$runs"); do
  seconds sh -c "bzip2 -dc '$work/payload.bz2' >/dev/null" >>"$work/times.bzip2"
  seconds sh -c "pbzip2 -dc -p2 '$work/payload.bz2' >/dev/null" >>"$work/times.pbzip2"
  seconds sh -c "lbzip2 -dc -n 2 '$work/payload.bz2' >/dev/null" >>"$work/times.lbzip2"
  seconds sh -c "bzip2 -dc '$work/single.bz2' >/dev/null" >>"$work/times.bzip2single"
  ours "$work/setup.exe" >>"$work/times.setup"
  ours "$work/single.exe" >>"$work/times.single"
  wizard >>"$work/times.wizard"
  theirs "$work/nsis-solid.exe" >>"$work/times.nsis-solid"
  theirs "$work/nsis.exe" >>"$work/times.nsis"
  ours "$work/setup10k.exe" >>"$work/times.setup10k"
  theirs "$work/nsis10k.exe" >>"$work/times.nsis10k"
  ours "$work/setup100k.exe" >>"$work/times.setup100k"
  theirs "$work/nsis100k.exe" >>"$work/times.nsis100k"
  seconds in_wine wine "$bin/exitwith.exe" 0 >>"$work/times.start"
  floor "$work/archive" >>"$work/times.floor"
  floor "$work/archive100k" >>"$work/times.floor100k"
done
rm -rf "$drive/Floor"
[ "$(find "$drive/NsisBench" -type f | wc -l)" = 100000 ] || { echo "NSIS did not install the empty files" >&2; exit 1; }
fresh
in_wine wine "$work/setup.exe" /silent
[ "$(find "$drive/ProgramData/Quenlith/bin" -type f ! -name uninstall.ini | wc -l)" = 777 ] ||
  { echo "the installation did not install the payload" >&2; exit 1; }

# Phase times from the installer's own log (its per-line reopening adds to them).
fresh
rm -f "$drive/users/"*/Desktop/Quenlith-setup-*.log
in_wine wine "$work/setup.exe" /silent /debug
phases=$(awk -F'\t' '
  / Splitting files\. / { split_at = $2 }
  / Decompressing files\. / { decompress_at = $2 }
  / Copying files to location\. / { extract_at = $2 }
  / Setting file date\. / { extracted_at = $2 }
  { last = $2 }
  END { printf "%.2f %.2f %.2f %.2f %.2f", decompress_at - split_at, extract_at - decompress_at,
        extracted_at - extract_at, split_at + last - extracted_at, last }' "$drive/users/"*/Desktop/Quenlith-setup-*.log)
read -r p_split p_decompress p_extract p_rest p_total <<<"$phases"

peak() {  # PACKAGE: the installer process's peak resident memory in KiB
  fresh
  in_wine /usr/bin/time -f %M wine "$1" /silent 2>&1 >/dev/null | tail -n 1
}
peak1=$(peak "$work/setup.exe")
peak4=$(peak "$work/setup4.exe")

for name in $names; do eval "m_${name//-/_}=$(median <"$work/times.$name")"; done
echo "reference payload: 777 files, 66,775,654 bytes; $runs turns each; $(nproc) processors; installers for $arch (NSIS $nsis_target)"
printf 'median seconds:\n'
printf '  bzip2 -dc %.2f   pbzip2 -dc -p2 %.2f   lbzip2 -dc -n 2 %.2f   bzip2 -dc of the single stream %.2f\n' \
  "$m_bzip2" "$m_pbzip2" "$m_lbzip2" "$m_bzip2single"
printf '  silent install %.2f   single-stream payload %.2f   wizard to its complete page %.2f\n' "$m_setup" "$m_single" "$m_wizard"
printf '  NSIS /S solid %.2f   non-solid %.2f\n' "$m_nsis_solid" "$m_nsis"
printf '  10,000 empty files %.2f (NSIS %.2f)   100,000 empty files %.2f (NSIS %.2f)\n' \
  "$m_setup10k" "$m_nsis10k" "$m_setup100k" "$m_nsis100k"
printf '  Wine floor: starting a program %.2f   bare calls of the extraction %.2f (%.0f MB/s)   of the 100,000 empty files %.2f\n' \
  "$m_start" "$m_floor" "$(awk -v s="$m_floor" 'BEGIN { print (s > 0 ? 66.775654 / s : 0) }')" "$m_floor100k"
printf 'phases of one silent install with its log on: split %.2f  decompress %.2f  extract %.2f (%.0f MB/s)  the rest %.2f  total %.2f\n' \
  "$p_split" "$p_decompress" "$p_extract" "$(awk -v s="$p_extract" 'BEGIN { print (s > 0 ? 66.775654 / s : 0) }')" "$p_rest" "$p_total"
awk -v s="$m_setup" -v p="$m_pbzip2" -v ns="$m_nsis_solid" -v nn="$m_nsis" -v one="$m_single" -v b1="$m_bzip2single" \
  -v w="$m_wizard" -v k10="$m_setup10k" -v k100="$m_setup100k" -v x="$p_extract" -v p1="$peak1" -v p4="$peak4" \
  -v st="$m_start" -v f="$m_floor" -v f100="$m_floor100k" -v d="$p_decompress" 'BEGIN {
  n = ns < nn ? ns : nn
  # The best an installation under Wine could do: start, decompress as fast as pbzip2, the bare calls.
  best = st + p + f
  # The two decompression goals first, each with the floor it cannot go below here.
  printf "decompression phase / pbzip2 -dc -p2      = %5.2f   (goal: at most 1.05; floor 1.00, pbzip2 itself)\n", d / p
  printf "single-stream install / its bzip2 -dc     = %5.2f   (goal: at most 1.00; floor %.2f)\n", one / b1, best / b1
  printf "install / pbzip2 -dc -p2                  = %5.2f   (goal: at most 1.50)\n", s / p
  printf "install / NSIS (the faster of the two)    = %5.2f   (goal: at most 0.60)\n", s / n
  printf "extraction (log on)                       = %5.0f MB/s (goal: at least 300)\n", (x > 0 ? 66.775654 / x : 0)
  printf "100,000 / 10,000 empty files              = %5.2f   (goal: at most 12)\n", k100 / k10
  printf "100,000 empty files                       = %5.2f s (goal: under 20)\n", k100
  printf "peak memory %d KiB, with 4x the payload %d KiB, ratio %.2f (goal: about 1.00, under 65536 KiB)\n", p1, p4, p4 / p1
  printf "wizard / silent install                   = %5.2f   (goal: at most 1.10; floor 1.00, the silent install itself)\n", w / s
  printf "floor under Wine (start + pbzip2 + bare calls) = %.2f s: install / pbzip2 at least %.2f, install / NSIS at least %.2f, single stream / bzip2 -dc at least %.2f\n", best, best / p, best / n, best / b1
  printf "floor under Wine for 100,000 empty files  = %5.2f s (start + bare calls)\n", st + f100
}'
