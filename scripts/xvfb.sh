#!/bin/sh
# Runs a command on a virtual X display of its own and passes its exit code
# on. The server picks a free display number itself and reports it through
# -displayfd once it accepts connections, so servers started at the same time
# never race for one number (as a number picked first, then taken, can).
#   usage: xvfb.sh WIDTHxHEIGHTxDEPTH COMMAND [ARGS...]
set -u
screen=$1
shift
dir=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$dir/display" 2>"$dir/log" &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server"; rm -rf "$dir"' EXIT
trap 'exit 143' INT TERM
tries=600  # a minute, however busy the machine
until [ -s "$dir/display" ]; do
  if ! kill -0 "$server" 2>/dev/null || [ $((tries -= 1)) -le 0 ]; then
    echo "Xvfb did not start:" >&2
    cat "$dir/log" >&2
    exit 1
  fi
  sleep 0.1
done
DISPLAY=:$(cat "$dir/display") "$@"
