#!/bin/sh
# Starts the built Knapsel under Wine. With a display (DISPLAY set), on it,
# until you close its window. Without one, a short demonstration in Wine's
# virtual desktop on a virtual display: what a window receives for each key,
# and two screenshots of that desktop, Knapsel minimised and restored, saved
# as knapsel-minimised.png and knapsel-restored.png in PICTURES_DIR.
#   usage: [WINEARCH=win64] run.sh BUILD_DIR WINEPREFIX [PICTURES_DIR]
# with the win32 tree, or the win64 one and a 64-bit prefix.
set -eu
bin=$1/bin
prefix=$2
wine=$(cd "$(dirname "$0")" && pwd)/wine.sh
if [ -n "${DISPLAY:-}" ] && [ -z "${KNAPSEL_DEMO:-}" ]; then
  echo "Knapsel is running minimised; close its window to end it."
  "$wine" --on-display "$prefix" "$bin/Knapsel.exe" && rc=0 || rc=$?
  echo "Knapsel ended with exit code $rc."
  exit $rc
fi
if [ -z "${KNAPSEL_DEMO:-}" ]; then
  echo "No display: a demonstration on a virtual one."
  KNAPSEL_DEMO=1 exec "$(dirname "$0")/xvfb.sh" 1000x700x24 "$0" "$@"
fi

pictures=$(mkdir -p "${3:-$1}" && cd "${3:-$1}" && pwd)
exec "$wine" --on-display "$prefix" "$bin/probe.exe" demo "Z:$(echo "$pictures" | tr / '\\')"
