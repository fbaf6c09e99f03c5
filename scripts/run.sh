#!/bin/sh
# Starts the built Knapsel under Wine. With a display (DISPLAY set), on it,
# until you close its window. Without one, a short demonstration on a
# virtual display: what a window receives for each key, and a screenshot.
#   usage: run.sh WIN32_BUILD_DIR WINEPREFIX
set -eu
bin=$1/bin
prefix=$2
wine=$(dirname "$0")/wine.sh
if [ -n "${DISPLAY:-}" ]; then
  echo "Knapsel is running minimised; close its window to end it."
  "$wine" --on-display "$prefix" "$bin/Knapsel.exe" && rc=0 || rc=$?
  echo "Knapsel ended with exit code $rc."
  exit $rc
fi
shot=$(cd "$1" && pwd)/knapsel.png
rm -f "$shot"
echo "No display: a demonstration on a virtual one."
"$wine" "$prefix" "$bin/probe.exe" demo "Z:$(echo "$shot" | tr / '\\')"
echo "Screenshot of Knapsel's restored window: $shot"
