#!/usr/bin/env bash
# Installs what the build and the tests need, idempotently: Debian packages,
# the bzip2 source (from the package registry) and libbz2 cross-compiled for
# i686-w64-mingw32 (the installer's target) and x86_64-w64-mingw32 (the test
# build for machines that cannot run 32-bit programs). Steps already done are
# skipped, so a second run is quick.
#
# Everything fetched lands in $QUENLITH_DEPS (default ~/.cache/quenlith-deps),
# outside the tracked tree.
set -euo pipefail

DEPS=${QUENLITH_DEPS:-$HOME/.cache/quenlith-deps}

PACKAGES=(
  wine wine32:i386 wine64 xvfb xauth fonts-wine
  g++-mingw-w64-i686 mingw-w64-i686-dev g++-mingw-w64-x86-64 mingw-w64-x86-64-dev
  cmake ninja-build clang libclang-rt-14-dev
  googletest libgtest-dev libbz2-dev bzip2 pbzip2 lbzip2 libfmt-dev nlohmann-json3-dev
  osslsigncode openssl imagemagick librsvg2-bin
  dpkg-dev python3 nsis
)

log() { printf 'setup: %s\n' "$*"; }

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"
  elif command -v sudo >/dev/null; then sudo "$@"
  else log "need root to run: $*"; exit 1
  fi
}

apt_updated=0
apt_update() {
  [ "$apt_updated" -eq 1 ] && return 0
  as_root apt-get update -q >/dev/null
  apt_updated=1
}

ensure_i386() {
  dpkg --print-foreign-architectures | grep -qx i386 && return 0
  log "adding the i386 architecture"
  as_root dpkg --add-architecture i386
  apt_updated=0
}

ensure_packages() {
  local missing=() p
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  log "installing ${missing[*]}"
  apt_update
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
}

# A deb-src entry for bookworm main, with the same mirror as the machine's
# own bookworm entry (so no host is named here).
ensure_deb_src() {
  if grep -rqsE '^(deb-src[[:space:]].*bookworm([[:space:]].*)?[[:space:]]main|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    return 0
  fi
  local uri
  uri=$(awk '
    /^URIs:/ { u = $2 }
    /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == "bookworm") found = u }
    /^$/ { u = "" }
    END { print found }' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
  if [ -z "$uri" ]; then
    uri=$(awk '$1 == "deb" && $3 == "bookworm" { print $2; exit }' /etc/apt/sources.list 2>/dev/null || true)
  fi
  [ -n "$uri" ] || { log "no bookworm entry in the apt sources to derive a deb-src entry from"; exit 1; }
  log "adding a deb-src entry for bookworm main"
  printf 'Types: deb-src\nURIs: %s\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' "$uri" |
    as_root tee /etc/apt/sources.list.d/quenlith-deb-src.sources >/dev/null
  apt_updated=0
}

bzip2_source_dir() {
  find "$DEPS/src" -maxdepth 2 -name bzlib.h -printf '%h\n' 2>/dev/null | head -n 1
}

ensure_bzip2_source() {
  [ -n "$(bzip2_source_dir)" ] && return 0
  ensure_deb_src
  apt_update
  log "fetching the bzip2 source package"
  mkdir -p "$DEPS/src"
  (cd "$DEPS/src" && apt-get source -q --download-only bzip2 >/dev/null 2>&1 && dpkg-source -x --no-check ./bzip2_*.dsc >/dev/null)
  [ -n "$(bzip2_source_dir)" ] || { log "bzip2 source could not be fetched"; exit 1; }
}

# libbz2 for one mingw architecture (i686 or x86_64), in $DEPS/mingw-ARCH.
ensure_mingw_bzip2() {
  local arch=$1 prefix=$DEPS/mingw-$1
  local lib=$prefix/lib/libbz2.a
  [ -f "$lib" ] && [ -f "$prefix/include/bzlib.h" ] && return 0
  local src obj
  src=$(bzip2_source_dir)
  obj=$(mktemp -d)
  log "cross-compiling libbz2 for $arch-w64-mingw32"
  for f in blocksort huffman crctable randtable compress decompress bzlib; do
    "$arch-w64-mingw32-gcc" -O2 -c "$src/$f.c" -o "$obj/$f.o"
  done
  mkdir -p "$prefix/lib" "$prefix/include"
  "$arch-w64-mingw32-ar" rcs "$obj/libbz2.a" "$obj"/*.o
  cp "$src/bzlib.h" "$prefix/include/"
  mv "$obj/libbz2.a" "$lib"
  rm -rf "$obj"
}

# {fmt} header-only for the Windows build: a private include folder that
# holds only fmt, so /usr/include never reaches the cross compiler.
ensure_mingw_fmt() {
  local prefix=$DEPS/mingw-$1
  mkdir -p "$prefix/include"
  [ -e "$prefix/include/fmt/format.h" ] && return 0
  ln -sfn /usr/include/fmt "$prefix/include/fmt"
}

ensure_i386
ensure_packages
ensure_bzip2_source
for arch in i686 x86_64; do
  ensure_mingw_bzip2 "$arch"
  ensure_mingw_fmt "$arch"
done
