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

# The recorder (Record in Vexmo) needs a microphone. Without a sound server, a private one stands
# in: its microphone is a pipe that plays a spoken sentence over and over.
pulse_pid=""
if ! pactl info >/dev/null 2>&1; then
  pulse_dir=$(mktemp -d)
  chmod 700 "$pulse_dir"
  XDG_RUNTIME_DIR="$pulse_dir" pulseaudio -n --daemonize=no --exit-idle-time=-1 --system=false \
    -L module-null-sink \
    -L "module-pipe-source source_name=demo_mic file=$pulse_dir/mic format=s16le rate=44100 channels=1 source_properties=device.description=Demo_microphone" \
    -L "module-native-protocol-unix auth-anonymous=1" >/dev/null 2>&1 &
  pulse_pid=$!
  export PULSE_SERVER="unix:$pulse_dir/pulse/native"
  for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl set-default-source demo_mic >/dev/null 2>&1 || true
  speech="$pulse_dir/speech.raw"
  espeak-ng --stdout "This is the demo microphone. Press space to stop." |
    sox -t wav - -r 44100 -c 1 -b 16 -e signed -t raw "$speech" pad 1 1
  # Written at real-time pace, as a microphone delivers: the pipe itself has no clock.
  python3 - "$speech" "$pulse_dir/mic" <<'PY' &
import sys, time
data = open(sys.argv[1], "rb").read()
block = 882  # 10 ms of 44.1 kHz 16-bit mono
with open(sys.argv[2], "wb", buffering=0) as mic:
    at, due = 0, time.monotonic()
    while True:
        mic.write(data[at:at + block] or bytes(block))
        at = (at + block) % len(data)
        due += 0.01
        time.sleep(max(0.0, due - time.monotonic()))
PY
  feeder=$!
  trap 'kill $station $feeder $pulse_pid 2>/dev/null || true' EXIT
  echo "No sound server was running: quillon records from a demo microphone that speaks."
fi

echo "Vexmo is talking to the local station at http://127.0.0.1:$port/ (user demo, password demo)."
"$bin/vexmo"
