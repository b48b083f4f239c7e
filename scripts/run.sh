#!/usr/bin/env bash
# Builds Vexmo and runs it against the bundled local station (vexmo-station on a free loopback
# port), from a portable program folder whose settings.ini points at that station.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
build="${VEXMO_BUILD_DIR:-build}"
bin="$PWD/$build/bin"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
"$bin/vexmo-station" --port "$port" &
station=$!
trap 'kill $station 2>/dev/null || true' EXIT
sleep 0.5
if [ -x "$bin/vexmo" ]; then
  "$bin/vexmo"
else
  echo "vexmo-station is serving http://127.0.0.1:$port/ (user demo, password demo); Ctrl+C stops it."
  wait $station
fi
