#!/usr/bin/env bash
# Takes the README's screenshots of real windows: Vexmo against the local station, under a
# virtual X screen (Xvfb, no window manager, so no title bars). Needs a build (scripts/build.sh).
#   scripts/screenshots.sh   # writes docs/screenshot-main.png, -settings.png, -mic-live.png
#                            # and -stale.png
set -euo pipefail
cd "$(dirname "$0")/.."
build="${VEXMO_BUILD_DIR:-build}"
bin="$PWD/$build/bin"
docs="$PWD/docs"
for tool in "$bin/vexmo" "$bin/vexmo-station" "$bin/vexmo-demo-setup"; do
  [ -x "$tool" ] || { echo "screenshots.sh: $tool is missing; run scripts/build.sh first" >&2; exit 1; }
done

if [ -z "${VEXMO_SCREENSHOT_INNER:-}" ]; then
  exec env VEXMO_SCREENSHOT_INNER=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

# A portable program folder of its own, so that the pictures do not depend on earlier runs.
folder=$(mktemp -d)
trap 'kill ${app:-} ${station:-} ${pulse:-} 2>/dev/null || true; rm -rf "$folder"' EXIT
cp "$bin/vexmo" "$bin/libvexmo_audio.so" "$folder/"
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
echo "Wrote docs/screenshot-main.png, -settings.png, -mic-live.png and -stale.png"
