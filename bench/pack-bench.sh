#!/usr/bin/env bash
# Benchmark of the package builder: builds a package of the reference payload
# (777 files, 66,775,654 bytes) with --jobs 1 and --jobs 2, and compresses the
# same payload archive with bzip2 -9, in turns, three times each; prints the
# median times and their ratios. Goals: --jobs 2 at least 1.7 times as fast as
# bzip2 -9, --jobs 1 no slower than it.
set -euo pipefail
# shellcheck source=bench/lib.sh
source "$(dirname "$0")/lib.sh"

"$root/scripts/build.sh" >/dev/null
# The builder as users run it: optimised, without sanitizers.
cmake -S "$root" -B "$work/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUENLITH_SANITIZE=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$work/release" --target quenlith-pack >/dev/null
pack=$work/release/tools/quenlith-pack
installer=$build/windows/bin/QuenlithSetup.exe

make_payload "$work/payload" 66775654 777
printf '[install]\r\nInstallerSilent=1\r\n' >"$work/script.ini"

# The payload archive itself, for bzip2: section 1 of a package, decompressed.
"$pack" build "$installer" "$work/payload" "$work/script.ini" -o "$work/package.exe" 2>/dev/null
payload_section "$pack" "$work/package.exe" | bzip2 -dc >"$work/archive"

: >"$work/times.bzip2"; : >"$work/times.jobs1"; : >"$work/times.jobs2"
for _ in $(seq "$runs"); do
  seconds bzip2 -9 -k -f -c "$work/archive" >>"$work/times.bzip2"
  seconds "$pack" build "$installer" "$work/payload" "$work/script.ini" -o "$work/p1.exe" --jobs 1 >>"$work/times.jobs1"
  seconds "$pack" build "$installer" "$work/payload" "$work/script.ini" -o "$work/p2.exe" --jobs 2 >>"$work/times.jobs2"
done
b=$(median <"$work/times.bzip2"); j1=$(median <"$work/times.jobs1"); j2=$(median <"$work/times.jobs2")

archive_bytes=$(stat -c %s "$work/archive")
compressed=$(stat -c %s "$work/p1.exe")
echo "payload archive: $archive_bytes bytes; package: $compressed bytes; $(nproc) processors; $runs runs each"
printf 'median seconds: bzip2 -9 %.2f   --jobs 1 %.2f   --jobs 2 %.2f\n' "$b" "$j1" "$j2"
awk -v b="$b" -v j1="$j1" -v j2="$j2" 'BEGIN {
  printf "bzip2 -9 / --jobs 1 = %.2f   (goal: at least 1.00)\n", b / j1
  printf "bzip2 -9 / --jobs 2 = %.2f   (goal: at least 1.70)\n", b / j2
}'
