#!/usr/bin/env bash
# quillon and Vexmo as two separate programs, as a presenter runs them: both from one portable
# program folder, on a private X server, with a private sound server whose microphone hears a
# synthetic voice, against a local station. Vexmo's fourth entry is selected with the mouse;
# quillon (started with -vexmo) records the voice, and Ctrl+Return ("Use take") hands the FLAC over
# the socket to the running Vexmo, which uploads it. The station must then list the take right
# after the selected entry.
#   two_processes.sh BIN_FOLDER
# Exits 77 (skipped) only when a tool it needs is not installed.
set -u
bin=$1

for tool in Xvfb xdotool pulseaudio pactl paplay espeak-ng curl python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "two_processes: $tool is not installed" >&2
    exit 77
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/quillon-2p.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "two_processes: $*" >&2
  exit 1
}

Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
display=""
for _ in $(seq 200); do
  display=$(tr -dc '0-9' <"$work/display")
  [ -n "$display" ] && break
  sleep 0.1
done
[ -n "$display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$display"

folder="$work/program"
mkdir "$folder"
cp "$bin/vexmo" "$bin/quillon" "$bin/libvexmo_audio.so" "$folder/"
[ -d "$bin/Lang" ] && cp -r "$bin/Lang" "$folder/"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
"$bin/vexmo-station" --port "$port" --storage "$work/station" 2>"$work/station.log" &
pids+=($!)
list="http://127.0.0.1:$port/?user=demo&pass=demo&action=getplaylist2"
for _ in $(seq 100); do
  curl -fs -o /dev/null "$list" && break
  sleep 0.1
done
curl -fs -o /dev/null "$list" || fail "the station did not start: $(cat "$work/station.log")"
"$bin/vexmo-demo-setup" "$folder" 127.0.0.1 "$port" demo demo >/dev/null || fail "demo setup failed"

# The microphone is the null output's monitor; what plays into the output is what quillon hears.
mkdir -m 700 "$work/pulse-runtime" "$work/runtime"
XDG_RUNTIME_DIR="$work/pulse-runtime" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
  --system=false -L "module-native-protocol-unix auth-anonymous=1" -L "module-null-sink" \
  >"$work/pulse.log" 2>&1 &
pids+=($!)
export PULSE_SERVER="unix:$work/pulse-runtime/pulse/native"
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null 2>&1 || fail "pulseaudio did not start: $(cat "$work/pulse.log")"
pactl set-default-source null.monitor >/dev/null || fail "no monitor source"
espeak-ng -v en -w "$work/voice.wav" "This was the late show. Stay tuned." || fail "espeak-ng failed"

# Both programs find each other's socket here.
export XDG_RUNTIME_DIR="$work/runtime"
export QT_QPA_PLATFORM=xcb
"$folder/vexmo" >"$work/vexmo.log" 2>&1 &
pids+=($!)
window=$(timeout 30 xdotool search --sync --name '^Vexmo$' | head -1)
[ -n "$window" ] || fail "Vexmo's window did not appear: $(cat "$work/vexmo.log")"
sleep 3
# The fourth entry, as in the demo list.
xdotool mousemove --window "$window" 120 155 click 1
sleep 0.5

"$folder/quillon" -vexmo >"$work/quillon.log" 2>&1 &
pids+=($!)
recorder=$(timeout 30 xdotool search --sync --name '^quillon$' | head -1)
[ -n "$recorder" ] || fail "quillon's window did not appear: $(cat "$work/quillon.log")"
sleep 2
# Without a window manager the keyboard follows the pointer.
xdotool mousemove --window "$recorder" 360 250
xdotool windowfocus --sync "$recorder" 2>/dev/null
xdotool key space
sleep 0.3
paplay "$work/voice.wav" || fail "paplay failed"
sleep 0.3
xdotool key space
sleep 1
xdotool key ctrl+Return

found=""
for _ in $(seq 300); do
  curl -fs "$list" >"$work/list.xml" 2>/dev/null
  if grep -q 'FILENAME="[^"]*VoiceTrack[^"]*\.flac"' "$work/list.xml"; then
    found=1
    break
  fi
  sleep 0.1
done
[ -n "$found" ] || fail "the station never listed the take; its list:
$(cat "$work/list.xml")
vexmo: $(cat "$work/vexmo.log")
quillon: $(cat "$work/quillon.log")"
before=$(grep -B1 'VoiceTrack' "$work/list.xml" | head -1)
case "$before" in
*'TITLE="Summer in Reverse"'*) ;;
*) fail "the take is not after the selected entry (Summer in Reverse); its list:
$(cat "$work/list.xml")" ;;
esac
# The take went over the socket, so quillon deleted its work file and kept only the FLAC.
takes=$(find "$folder" -name '*.take.wav' | wc -l)
[ "$takes" -eq 0 ] || fail "the work file of the used take is still there"
flacs=$(find "$folder" -name 'VoiceTrack*.flac' | wc -l)
[ "$flacs" -eq 1 ] || fail "expected one FLAC in the voice-track folder, found $flacs"
echo "two_processes: the take is on the station after the selected entry"
