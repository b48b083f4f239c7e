#!/usr/bin/env bash
# Builds Vexmo and runs it against the bundled local station (vexmo-station on a free loopback
# port), from the portable program folder build/bin/ (no uid.ini there, so it is also the data
# folder): its settings.ini is pointed at the station, and a sample voice track waits in its
# VoiceTracks/ folder. Closing Vexmo (or Ctrl+C) stops the station too.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<'TEXT'
run.sh: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set).
Vexmo is a desktop program: run this script from a desktop session (or over ssh -X).
To try it on a machine without a screen, give it a virtual one:
    xvfb-run -a -s "-screen 0 1024x768x24" scripts/run.sh
TEXT
  exit 1
fi

scripts/build.sh
build="${VEXMO_BUILD_DIR:-build}"
bin="$PWD/$build/bin"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')

"$bin/vexmo-station" --port "$port" --user demo --password demo &
station=$!
trap 'kill $station 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  curl -fs -o /dev/null "http://127.0.0.1:$port/?user=demo&pass=demo&action=playbackinfo" && break
  kill -0 $station 2>/dev/null || { echo "run.sh: vexmo-station did not start" >&2; exit 1; }
  sleep 0.1
done

# The program's settings keep whatever else they hold (column layout); only the station changes.
"$bin/vexmo-demo-setup" "$bin" 127.0.0.1 "$port" demo demo >/dev/null
mkdir -p "$bin/VoiceTracks"
sample="$bin/VoiceTracks/Sample voice track.flac"
if [ ! -f "$sample" ]; then
  # Four seconds of a soft tone, standing in for a recorded link.
  sox -n -r 44100 -c 1 -b 16 "$sample" synth 4 sine 440 fade 0.1 4 0.5 vol 0.4
fi

echo "Vexmo is talking to the local station at http://127.0.0.1:$port/ (user demo, password demo)."
"$bin/vexmo"
