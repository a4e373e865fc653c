#!/usr/bin/env bash
# Benchmark of the package builder (the release build, as users run it)
# against bzip2 -9, pbzip2 -9 -p2 and lbzip2 -9 -n 2 compressing the same
# payload archive bytes, in turns ($BENCH_RUNS each, default 3), for three
# payloads: the reference payload (777 files, 66,775,654 bytes), 100,000
# small files, and 1 GiB of half-random data (only with BENCH_LARGE=1; it
# needs about 3 GiB of disk). BENCH_CASES="small-files half-random" runs
# only the payloads named. Our times include the walk of the payload
# folder. Prints medians and ratios. Goals: --jobs 2 at least as fast as
# pbzip2 -9 -p2 on every payload, package sizes within 0.5% of bzip2 -9.
set -euo pipefail
# shellcheck source=bench/lib.sh
source "$(dirname "$0")/lib.sh"

"$root/scripts/build.sh" >/dev/null
pack=$build/release/tools/quenlith-pack
installer=$build/windows/bin/QuenlithSetup.exe
mkdir -p "$work"
printf '[install]\r\nInstallerSilent=1\r\n' >"$work/script.ini"

make_small_files() {  # FOLDER
  [ -d "$1" ] && return 0
  python3 - "$1.tmp" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(7)
words = [b"quenlith", b"chat", b"buddy", b"skin", b"<xml/>", b"message", b"\r\n"]
for i in range(100000):
    folder = os.path.join(root, "d%03d" % (i // 1000))
    os.makedirs(folder, exist_ok=True)
    size = rng.randint(50, 2000)
    data = b"".join(rng.choice(words) for _ in range(size // 6))
    with open(os.path.join(folder, "f%05d.txt" % i), "wb") as f:
        f.write(data)
PY
  mv "$1.tmp" "$1"
}

make_half_random() {  # FOLDER
  [ -d "$1" ] && return 0
  mkdir -p "$1.tmp"
  for i in $(seq 0 15); do
    # 64 MiB each: 32 MiB random, 32 MiB of repeated text.
    # (yes ends on SIGPIPE when head has enough: not a failure here.)
    { head -c $((32 << 20)) /dev/urandom; (set +o pipefail; yes 'Quenlith half-random payload line' | head -c $((32 << 20))); } \
      >"$1.tmp/part$i.bin"
  done
  mv "$1.tmp" "$1"
}

run_case() {  # NAME FOLDER
  local name=$1 payload=$2 t
  "$pack" build "$installer" "$payload" "$work/script.ini" -o "$work/$name.exe" --jobs 2 2>/dev/null
  payload_section "$pack" "$work/$name.exe" | bzip2 -dc >"$work/$name.archive"
  for t in bzip2 pbzip2 lbzip2 jobs1 jobs2; do : >"$work/times.$name.$t"; done
  for _ in $(seq "$runs"); do
    seconds bzip2 -9 -k -f -c "$work/$name.archive" >>"$work/times.$name.bzip2"
    seconds pbzip2 -9 -p2 -k -f -c "$work/$name.archive" >>"$work/times.$name.pbzip2"
    seconds lbzip2 -9 -n 2 -k -f -c "$work/$name.archive" >>"$work/times.$name.lbzip2"
    seconds "$pack" build "$installer" "$payload" "$work/script.ini" -o "$work/$name-1.exe" --jobs 1 \
      >>"$work/times.$name.jobs1"
    seconds "$pack" build "$installer" "$payload" "$work/script.ini" -o "$work/$name-2.exe" --jobs 2 \
      >>"$work/times.$name.jobs2"
  done
  local b p l j1 j2 ours theirs
  b=$(median <"$work/times.$name.bzip2"); p=$(median <"$work/times.$name.pbzip2")
  l=$(median <"$work/times.$name.lbzip2")
  j1=$(median <"$work/times.$name.jobs1"); j2=$(median <"$work/times.$name.jobs2")
  ours=$(payload_section "$pack" "$work/$name-2.exe" | wc -c)
  theirs=$(bzip2 -9 -c "$work/$name.archive" | wc -c)
  echo "== $name: archive $(stat -c %s "$work/$name.archive") bytes; $(nproc) processors; $runs runs each"
  printf 'median seconds: bzip2 -9 %.2f  pbzip2 -9 -p2 %.2f  lbzip2 -9 -n 2 %.2f  --jobs 1 %.2f  --jobs 2 %.2f\n' \
    "$b" "$p" "$l" "$j1" "$j2"
  awk -v b="$b" -v p="$p" -v l="$l" -v j1="$j1" -v j2="$j2" -v o="$ours" -v t="$theirs" 'BEGIN {
    printf "bzip2 -9 / --jobs 1 = %.2f   bzip2 -9 / --jobs 2 = %.2f\n", b / j1, b / j2
    printf "pbzip2 -9 -p2 / --jobs 2 = %.2f   (goal: at least 1.00)\n", p / j2
    printf "lbzip2 -9 -n 2 / --jobs 2 = %.2f\n", l / j2
    printf "payload %d bytes against bzip2 -9 %d bytes: %+.2f%%   (goal: within 0.5%%)\n", o, t, (o - t) * 100 / t
  }'
}

# BENCH_CASES picks payloads by name; BENCH_LARGE=1 adds half-random.
cases=${BENCH_CASES:-reference small-files}
[ "${BENCH_LARGE:-0}" = 1 ] && cases="$cases half-random"
for name in $cases; do
  case $name in
    reference) make_payload "$work/payload" 66775654 777; run_case reference "$work/payload" ;;
    small-files) make_small_files "$work/small-files"; run_case small-files "$work/small-files" ;;
    half-random) make_half_random "$work/half-random"; run_case half-random "$work/half-random" ;;
    *) echo "unknown case $name" >&2; exit 2 ;;
  esac
done
