#!/bin/sh
# Runs one test of the 32-bit Windows programs where 32-bit code runs: here,
# or, on a host that cannot start them (wine-arch.sh), in the emulated machine
# (machine.sh), where the test named first (the 32-bit prefix, which every
# other needs) runs them all, and each then reports its own result from
# there, side by side. The test's build tree and prefixes come from the
# environment: KNAPSEL_SOURCE, KNAPSEL_NATIVE, KNAPSEL_WINEPREFIX.
#   usage: win32.sh NAME COMMAND [ARGS...]
set -u
name=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
results=$KNAPSEL_NATIVE/emulated
first=wine.prefix32

if [ -n "${KNAPSEL_GUEST:-}" ]; then # in the emulated machine: run, keep the result
  mkdir -p "$results" || exit 1
  "$@" >"$results/$name.log" 2>&1
  rc=$?
  cat "$results/$name.log"
  echo "$rc" >"$results/$name.rc"
  exit "$rc"
fi
if [ "$("$here/../wine-arch.sh" 2>/dev/null)" = win32 ]; then
  exec "$@"
fi

if [ "$name" = "$first" ]; then
  rm -rf "$results" && mkdir -p "$results" || exit 1
  started=$(date +%s)
  # ctest shows a test's output when it ends; the emulated machine's run
  # takes many minutes, so its stages and each test's result line are shown
  # as they come: on the descriptor KNAPSEL_PROGRESS_FD that make test gives,
  # else on the terminal, if any.
  if [ -n "${KNAPSEL_PROGRESS_FD:-}" ] && (: >&"$KNAPSEL_PROGRESS_FD") 2>/dev/null; then
    exec 8>&"$KNAPSEL_PROGRESS_FD"
  elif (: >/dev/tty) 2>/dev/null; then
    exec 8>/dev/tty
  else
    exec 8>/dev/null
  fi
  shown='^ *[0-9]+/[0-9]+ Test|tests passed|emulated machine|^apt:'
  echo "The tests of 32-bit programs run in an emulated machine: $("$here/../wine-arch.sh" 2>&1 >/dev/null)"
  echo "  emulated: the tests of 32-bit programs, all in one run of the emulated machine (5 to 20 minutes); each one's line follows as it ends" >&8
  # The tests' prefixes live in guest memory; so does ctest's own record of
  # the run, which the host's ctest keeps in the same place. The machine has
  # two processors, and its tests mostly wait for Wine: three at a time.
  { "$here/machine.sh" --in-memory "$KNAPSEL_WINEPREFIX" --in-memory "$KNAPSEL_NATIVE/Testing" \
    --console "$results/console.log" "$KNAPSEL_SOURCE" "${KNAPSEL_EMULATED_BOUND:-3000}" \
    "ctest --test-dir '$KNAPSEL_NATIVE' -L win32 -j 3 --output-on-failure"; echo $? >"$results/emulated.rc"; } 2>&1 |
    tee "$results/ctest.log" | grep --line-buffered -E "$shown" | sed -u -e 's/^emulated machine: //' -e 's/^/  emulated: /' >&8
  grep -E "$shown" "$results/ctest.log"
  echo "The emulated machine's run took $(($(date +%s) - started)) s (exit $(cat "$results/emulated.rc")); its log: $results/ctest.log, its console: $results/console.log"
fi
if [ ! -f "$results/$name.rc" ]; then
  echo "No result from the emulated machine for $name; the end of its log ($results/ctest.log):"
  tail -n 15 "$results/ctest.log" 2>/dev/null
  exit 1
fi
rc=$(cat "$results/$name.rc")
cat "$results/$name.log"
echo "($name ran in the emulated machine, exit code $rc)"
[ "$rc" = 0 ] || grep 'its kernel said' "$results/ctest.log"
exit "$rc"
