#!/usr/bin/env bash
# Takes the README's screenshots of real windows: Vexmo against the local station, under a
# virtual X screen (Xvfb, no window manager, so no title bars). Needs a build (scripts/build.sh).
#   scripts/screenshots.sh   # writes docs/screenshot-main.png, -settings.png, -mic-live.png
#                            # -stale.png, and quillon's -quillon.png and -quillon-take.png
set -euo pipefail
cd "$(dirname "$0")/.."
build="${VEXMO_BUILD_DIR:-build}"
bin="$PWD/$build/bin"
docs="$PWD/docs"
for tool in "$bin/vexmo" "$bin/quillon" "$bin/vexmo-station" "$bin/vexmo-demo-setup"; do
  [ -x "$tool" ] || { echo "screenshots.sh: $tool is missing; run scripts/build.sh first" >&2; exit 1; }
done

if [ -z "${VEXMO_SCREENSHOT_INNER:-}" ]; then
  exec env VEXMO_SCREENSHOT_INNER=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

# A portable program folder of its own, so that the pictures do not depend on earlier runs.
folder=$(mktemp -d)
trap 'kill ${rec:-} ${app:-} ${station:-} ${pulse:-} 2>/dev/null || true; rm -rf "$folder"' EXIT
cp "$bin/vexmo" "$bin/quillon" "$bin/libvexmo_audio.so" "$folder/"
[ -d "$bin/Lang" ] && cp -r "$bin/Lang" "$folder/"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
"$bin/vexmo-station" --port "$port" --storage "$folder/station" 2>/dev/null &
station=$!
for _ in $(seq 50); do
  curl -fs -o /dev/null "http://127.0.0.1:$port/?user=demo&pass=demo&action=playbackinfo" && break
  sleep 0.1
done
"$bin/vexmo-demo-setup" "$folder" 127.0.0.1 "$port" demo demo >/dev/null

# A private sound server whose default microphone is a 1 kHz sine, for the live meters.
mkdir -m 700 "$folder/pulse-runtime"
XDG_RUNTIME_DIR="$folder/pulse-runtime" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
  --system=false -L "module-native-protocol-unix auth-anonymous=1" -L "module-null-sink" \
  -L "module-sine-source source_name=vmic frequency=1000 rate=48000" \
  -L "module-default-device-restore" >/dev/null 2>&1 &
pulse=$!
export PULSE_SERVER="unix:$folder/pulse-runtime/pulse/native"
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl set-default-source vmic >/dev/null 2>&1 || true

QT_QPA_PLATFORM=xcb "$folder/vexmo" 2>/dev/null &
app=$!
# The entry on air turns bold with the first tick, five seconds after the start.
sleep 7
window=$(xdotool search --sync --name '^Vexmo$' | head -1)
geometry=$(xdotool getwindowgeometry --shell "$window")
eval "$geometry"
crop="${WIDTH}x${HEIGHT}+${X}+${Y}"

# Select the fourth entry, as a presenter about to put a voice track after it.
xdotool mousemove --window "$window" 120 155 click 1
sleep 0.5
/usr/bin/import -window root -crop "$crop" +repage "$docs/screenshot-main.png"

xdotool key --window "$window" ctrl+comma
dialog=$(xdotool search --sync --name '^Settings$' | head -1)
sleep 1
eval "$(xdotool getwindowgeometry --shell "$dialog")"
/usr/bin/import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$docs/screenshot-settings.png"
xdotool key Escape
sleep 0.3

# The microphone's chain with Monitor on: the meters move.
xdotool mousemove --window "$window" 120 155 click 1
sleep 0.3
xdotool key --window "$window" ctrl+d
xdotool search --sync --onlyvisible --name '^DSP$' >"$folder/dsp-window" || true
dsp=$(tail -1 "$folder/dsp-window")
sleep 1
xdotool key --window "$dsp" alt+m
sleep 2
eval "$(xdotool getwindowgeometry --shell "$dsp")"
/usr/bin/import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$docs/screenshot-mic-live.png"
xdotool key --window "$dsp" Escape
sleep 0.3

# The station goes away: the last list stays, greyed, with the time it was fetched, and the
# status bar says why. The next tick (at most five seconds on) finds it gone.
kill -TERM $station
wait $station || true
station=
sleep 6
/usr/bin/import -window root -crop "$crop" +repage "$docs/screenshot-stale.png"

kill -TERM $app
wait $app || true
app=

# quillon with a spoken voice: the microphone is now the null output's monitor, and a synthetic
# voice plays into that output, so the meters and the waveform show speech with its pauses.
espeak-ng -v en -s 140 -w "$folder/voice.wav" \
  "Good evening, you are listening to the late show. Next up, a song for everyone still on the road."
pactl set-default-source null.monitor >/dev/null
QT_QPA_PLATFORM=xcb "$folder/quillon" 2>/dev/null &
rec=$!
recorder=$(xdotool search --sync --name '^quillon$' | head -1)
sleep 2
eval "$(xdotool getwindowgeometry --shell "$recorder")"
crop="${WIDTH}x${HEIGHT}+${X}+${Y}"
# Before a take: a level check, the meters move, nothing recorded yet.
paplay "$folder/voice.wav" &
sleep 1.5
/usr/bin/import -window root -crop "$crop" +repage "$docs/screenshot-quillon.png"
wait $!
sleep 0.5
# The take: Space records, the voice plays, Space stops. Without a window manager the keyboard
# follows the pointer, and keys sent to a window that does not have the focus are ignored.
xdotool mousemove --window "$recorder" 360 250
xdotool windowfocus --sync "$recorder" 2>/dev/null || true
xdotool key space
sleep 0.5
paplay "$folder/voice.wav"
sleep 0.5
xdotool key space
sleep 1.5
/usr/bin/import -window root -crop "$crop" +repage "$docs/screenshot-quillon-take.png"
# Closing would ask about the unused take; the folder goes with the take anyway.
kill -KILL $rec
wait $rec || true
rec=
echo "Wrote docs/screenshot-main.png, -settings.png, -mic-live.png, -stale.png, -quillon.png" \
  "and -quillon-take.png"
