# Shared by the benchmark scripts (sourced): their folders and run count,
# timing, medians, the reference payload and a package's payload section.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUENLITH_BUILD_DIR:-$root/build}
work=$build/bench
runs=${BENCH_RUNS:-3}

# Prints how many seconds COMMAND took; its output is dropped.
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}

# The number the installer names NAME by in resources/setup_ids.h (IDC_NEXT, ...).
setup_id() { sed -n "s/^#define $1 \([0-9]*\).*/\1/p" "$root/resources/setup_ids.h"; }

# The median of the numbers on standard input, one a line.
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Makes a reference payload in FOLDER once: BYTES in FILES files.
make_payload() {  # FOLDER BYTES FILES
  [ -d "$1" ] && return 0
  python3 "$(dirname "${BASH_SOURCE[0]}")/make-payload.py" "$1.tmp" --bytes "$2" --files "$3"
  mv "$1.tmp" "$1"
}

# Writes the compressed payload section of PACKAGE to standard output.
payload_section() {  # PACK PACKAGE
  local offset length
  read -r offset length < <("$1" inspect "$2" |
    sed -n 's/^section 1 payload: offset \([0-9]*\), length \([0-9]*\)$/\1 \2/p')
  tail -c +"$((offset + 1))" "$2" | head -c "$length"
}
