#!/usr/bin/env bash
# Runs a command on an X display of its own (Xvfb, 1024x768x24), which ends with the command.
# The server picks a free display number itself, so parallel tests never share one.
#   display-run.sh COMMAND [ARGS...]
set -uo pipefail
fifo=$(mktemp -u "${TMPDIR:-/tmp}/kestrel-display.XXXXXX")
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" </dev/null >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null; rm -f "$fifo"' EXIT
read -r -t 20 display <"$fifo" || { echo "display-run: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$display"
"$@"
