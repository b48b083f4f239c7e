#!/usr/bin/env bash
# Runs a command on a private X server (Xvfb, on a display number it picks itself) with a real
# window manager (openbox), so that windows get frames and title bars as on a desktop. Both are
# stopped by their process ids afterwards. Exits 77 (skipped) only when one of them is not
# installed; one that is installed but does not start is a failure.
set -u

for tool in Xvfb openbox xprop xwininfo xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "with_window_manager: $tool is not installed" >&2
    exit 77
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/vexmo-wm.XXXXXX")
xvfb_pid=""
wm_pid=""
cleanup() {
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb writes the display number it chose once it accepts clients.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
display=""
for _ in $(seq 200); do
  display=$(tr -dc '0-9' <"$work/display")
  [ -n "$display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$display" ]; then
  echo "with_window_manager: Xvfb did not start:" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$display"

# A configuration of its own, so that no user's openbox settings change what the test sees.
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME"
openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
# The window manager is ready once it has announced itself on the root window.
for _ in $(seq 100); do
  if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
    break
  fi
  if ! kill -0 "$wm_pid" 2>/dev/null; then
    echo "with_window_manager: openbox did not start:" >&2
    cat "$work/openbox.log" >&2
    exit 1
  fi
  sleep 0.1
done
if ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
  echo "with_window_manager: openbox did not announce itself" >&2
  exit 1
fi

mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
export QT_QPA_PLATFORM=xcb
export VEXMO_WINDOW_MANAGER=openbox
"$@"
