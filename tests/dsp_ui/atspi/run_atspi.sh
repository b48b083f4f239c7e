#!/bin/sh
# Runs the AT-SPI slider check in an X server and a D-Bus session of its own, as CI has neither.
# Usage: run_atspi.sh <slider host executable> <slider_values.py>
set -eu
HOST=$1
SCRIPT=$2
WORK=$(mktemp -d)
XPID=
cleanup() {
  [ -n "$XPID" ] && kill "$XPID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

# Xvfb picks a free display itself and writes its number once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
XPID=$!
i=0
while [ ! -s "$WORK/display" ]; do
  i=$((i + 1))
  if [ $i -gt 100 ] || ! kill -0 "$XPID" 2>/dev/null; then
    echo "Xvfb did not start:"; cat "$WORK/xvfb.log"; exit 1
  fi
  sleep 0.1
done
DISPLAY=:$(head -n1 "$WORK/display")
export DISPLAY
export QT_QPA_PLATFORM=xcb
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
export QT_ACCESSIBILITY=1
export NO_AT_BRIDGE=0
# The system's Python, which has the AT-SPI bindings (not a user's virtual environment).
dbus-run-session -- /usr/bin/python3 "$SCRIPT" "$HOST"
