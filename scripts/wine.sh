#!/bin/sh
# Runs a Windows program under Wine, on Knapsel's own 32-bit prefix (made on
# first use) and a virtual display of its own, and passes the program's exit
# code on. The Wine server is ended afterwards: under Wine a keyboard filter
# outlives the thread that installed it, and must not reach the next run.
#   usage: wine.sh PREFIX PROGRAM.exe [ARGS...]
set -u
export WINEPREFIX="$(realpath -m "$1")" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
shift
exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" sh -c '
  [ -d "$WINEPREFIX/drive_c" ] || wineboot -i || exit 1
  wine "$@"; rc=$?
  wineserver -k; wineserver -w
  exit $rc' wine.sh "$@"
