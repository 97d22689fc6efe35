#!/usr/bin/env bash
# Runs a command on a virtual display of its own (1280 x 1024, 24 bits) with a private session
# bus, and ends the display after it. The X server takes the first free display itself and says
# which once it is ready: a number picked outside it (as xvfb-run -a does) races with every
# other virtual display being started on the machine, and the loser ends up on the winner's
# display, which goes away under it. The server listens on an abstract socket only: it needs no
# /tmp/.X11-unix (a folder that exists only once some X server has run on the machine), and
# inside a network namespace of its own the display is private to it. -noreset: by default the
# server resets whenever its last client leaves and hangs up on whoever connects meanwhile, so a
# program started just as a short-lived client (gdbus's bus launcher, a screenshot) left found
# "no display".
# usage: scripts/virtual-display.sh COMMAND [ARGUMENT...]
set -euo pipefail

number=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -noreset -nolisten tcp -nolisten unix 3>"$number" >/dev/null 2>&1 &
xvfb=$!
end() {
  kill $xvfb 2>/dev/null || true
  wait $xvfb 2>/dev/null || true
  rm -f "$number"
}
trap end EXIT
for _ in $(seq 200); do [ -s "$number" ] && break; sleep 0.05; done
[ -s "$number" ] || { echo "virtual-display: the X server did not start" >&2; exit 1; }
export DISPLAY=:$(cat "$number")
unset XAUTHORITY
status=0
dbus-run-session -- "$@" || status=$?
exit $status
