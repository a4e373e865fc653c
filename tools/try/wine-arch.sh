#!/usr/bin/env bash
# Prints the Windows architecture whose programs this machine's Wine runs:
# "i686" where 32-bit programs run (the installer's own target), "x86_64"
# where the kernel offers no 32-bit execution (some virtual machines), so
# that the Windows-side tests run a 64-bit build of the same sources.
#
# QUENLITH_WINE_ARCH=x86_64 asks for the 64-bit path on a machine that could
# run 32-bit programs too, so that one machine can try both; i686 is taken
# only where 32-bit programs run. Anything else is refused (exit code 2).
can_run_32_bit() { /usr/lib/wine/wine --version >/dev/null 2>&1; }

case ${QUENLITH_WINE_ARCH:-} in
  "")
    if can_run_32_bit; then echo i686; else echo x86_64; fi
    ;;
  x86_64)
    echo x86_64
    ;;
  i686)
    if ! can_run_32_bit; then
      echo "wine-arch.sh: QUENLITH_WINE_ARCH=i686, but this machine's Wine cannot run 32-bit programs" >&2
      exit 2
    fi
    echo i686
    ;;
  *)
    echo "wine-arch.sh: QUENLITH_WINE_ARCH must be i686 or x86_64, not \"$QUENLITH_WINE_ARCH\"" >&2
    exit 2
    ;;
esac
