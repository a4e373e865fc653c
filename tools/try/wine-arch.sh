#!/usr/bin/env bash
# Prints the Windows architecture whose programs this machine's Wine can run:
# "i686" where 32-bit programs run (the installer's own target), "x86_64"
# where the kernel offers no 32-bit execution (some virtual machines), so
# that the Windows-side tests run a 64-bit build of the same sources.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo i686
else
  echo x86_64
fi
