#!/usr/bin/env bash
# The Wine environment of one run (a test run, the main job, a benchmark, `quenlith-pack try`), kept in DIR:
#   wine-env.sh up DIR [BIN [CA_CERT]]
#                          create a fresh 64-bit prefix (Windows 10, X11 Managed=N,
#                          Wine's TrueType fonts, HOME in DIR), start Xvfb (or use
#                          the display named in WINE_ENV_DISPLAY) and a persistent wineserver;
#                          with BIN (a folder holding desktopkeeper.exe) keep the
#                          desktop alive as a real one is: without it, Wine's desktop
#                          process ends after each program and the next one waits
#                          ~2 s for it, and emptying the tray costs 2 s;
#                          with CA_CERT, make the prefix trust that authority
#                          (through BIN's wintool.exe, the tests' helper)
#   wine-env.sh down DIR   stop both
#   wine-env.sh exec DIR COMMAND...   run a command inside that environment
#   wine-env.sh run DIR PROGRAM...    run a Windows program; its output goes
#                          through a file, since services Wine starts on demand
#                          would otherwise hold the caller's output open
# Used by the tests, the main job, the benchmarks and `quenlith-pack try`.
# The machine's ~/.wine is never touched.
set -euo pipefail

command=${1:?usage: wine-env.sh up|down|exec DIR}
dir=$(mkdir -p "${2:?usage: wine-env.sh up|down|exec DIR}" && cd "$2" && pwd)

# Where the machine cannot run 32-bit programs, Debian's "wine" (the 32-bit
# loader) cannot start; "wine" and "wine-stable" (which wineboot calls) then
# name the 64-bit loader, through a folder put first on PATH.
wine64_only_path() {
  local bin=$dir/wine64-bin
  if [ ! -x "$bin/wine" ]; then
    mkdir -p "$bin"
    printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' >"$bin/wine"
    chmod +x "$bin/wine"
    ln -sf wine "$bin/wine-stable"
  fi
  export PATH=$bin:$PATH
}

# The architecture Wine runs here (wine-arch.sh, which honours
# QUENLITH_WINE_ARCH); a refused setting stops the script.
arch=$("$(dirname "$0")/wine-arch.sh")

environment() {
  if [ "$arch" = x86_64 ]; then wine64_only_path; fi
  export HOME=$dir/home
  export WINEPREFIX=$dir/prefix
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  if [ -f "$dir/display" ]; then export DISPLAY=$(cat "$dir/display"); fi
}

# Xvfb picks a free display itself (-displayfd), under its own lock, so two
# set-ups started at once never share one.
start_xvfb() {
  rm -f "$dir/display.number"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display.number" >"$dir/xvfb.log" 2>&1 </dev/null &
  echo $! >"$dir/xvfb.pid"
  local n
  for _ in $(seq 100); do
    n=$(cat "$dir/display.number" 2>/dev/null || true)
    if [ -n "$n" ] && [ -e "/tmp/.X11-unix/X$n" ]; then echo ":$n" >"$dir/display"; return; fi
    sleep 0.1
  done
  echo "Xvfb did not start; see $dir/xvfb.log" >&2
  exit 1
}

# Wine's TrueType fonts where every Windows program of the prefix finds them.
# A 32-bit program otherwise gets only Wine's bitmap fonts, so "Tahoma" (the
# wizard's face) falls back to a Linux face, and the caption buttons, drawn
# from "Marlett", show as letters; the 64-bit loader alone finds none of
# Wine's fonts, so there all of them are copied. Harmless where they load.
fonts=/usr/share/wine/fonts
install_fonts() {
  local into=$WINEPREFIX/drive_c/windows/Fonts name
  for name in tahoma.ttf tahomabd.ttf marlett.ttf; do
    # Without fonts-wine the prefix still works; the wizard's face checks
    # (pagewatch, the tests) then tell what it drew with.
    if [ -f "$fonts/$name" ]; then cp "$fonts/$name" "$into/"; else echo "no $fonts/$name: install fonts-wine" >&2; fi
  done
  if [ "$arch" = x86_64 ] && [ -d "$fonts" ]; then cp -n "$fonts"/*.ttf "$into/"; fi
}

down() {
  environment
  if [ -d "$WINEPREFIX" ]; then wineserver -k 2>/dev/null || true; fi
  if [ -f "$dir/xvfb.pid" ]; then kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true; fi
  rm -f "$dir/xvfb.pid" "$dir/display" "$dir/display.number"
}

up() {
  down
  rm -rf "$dir/prefix" "$dir/home"
  mkdir -p "$dir/home"
  if [ -n "${WINE_ENV_DISPLAY:-}" ]; then echo "$WINE_ENV_DISPLAY" >"$dir/display"; else start_xvfb; fi
  environment
  # A persistent server from the start keeps the prefix warm between the tests' programs.
  wineserver -p
  wineboot -i
  install_fonts
  wine reg add 'HKCU\Software\Wine' /v Version /d win10 /f
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
  # A program that crashes ends at once with its backtrace and exception
  # code; the debugger's crash dialog would wait for a click that never comes.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
  if [ -n "$helpers" ]; then wine "$helpers/desktopkeeper.exe" & fi
  if [ -n "$ca_cert" ]; then wine "$helpers/wintool.exe" trustca "Z:${ca_cert//\//\\}"; fi
}

case $command in
  up)
    helpers=${3:-}
    ca_cert=${4:-}
    # Wine and Xvfb stay running; none of them may hold the caller's output
    # open, so all of it goes to a log, shown when set-up fails.
    if ! (up) >"$dir/up.log" 2>&1 </dev/null; then
      cat "$dir/up.log" >&2
      exit 1
    fi
    ;;
  down)
    down
    ;;
  exec)
    shift 2
    environment
    exec "$@"
    ;;
  run)
    shift 2
    environment
    output=$(mktemp)
    status=0
    wine "$@" >"$output" 2>&1 </dev/null || status=$?
    cat "$output"
    rm -f "$output"
    exit "$status"
    ;;
  *)
    echo "usage: wine-env.sh up|down|exec|run DIR" >&2
    exit 2
    ;;
esac
