#!/usr/bin/env bash
# Starts the sample program under a paused inspector and opens vorpel_inspector
# on it. Without a display, it opens the window on a virtual one, saves a
# screenshot, and ends once the frontend has attached.
set -euo pipefail
program=$(realpath "${1:-build/vorpel_inspector}")
here=$(cd "$(dirname "$0")/.." && pwd)
log=$(mktemp)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -f "$log"
}
trap cleanup EXIT

source "$here/scripts/node-inspector.sh"
start_node_inspector "$log" --inspect-brk=127.0.0.1:0 "$here/demo/sample.js"
pids+=("$NODE_PID")
address=$INSPECTOR_ADDRESS

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "demo: close the window to end the demo" >&2
  "$program" "$address"
  exit $?
fi

# No display: a virtual one of our own.
for number in $(seq 90 190); do
  [ -e "/tmp/.X$number-lock" ] || break
done
Xvfb ":$number" -screen 0 1024x700x24 -nolisten tcp 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$number" ] && break; sleep 0.05; done
export DISPLAY=":$number" DBUS_SESSION_BUS_ADDRESS=disabled:
"$program" "$address" &
pids+=($!)
for _ in $(seq 300); do grep -q "Debugger attached." "$log" && break; sleep 0.1; done
grep -q "Debugger attached." "$log" || { echo "demo: the frontend did not attach" >&2; exit 1; }
# The frontend keeps drawing for a while after the attach (panels, the paused
# script): the screenshot waits until two looks half a second apart agree.
previous=""
for _ in $(seq 30); do
  sleep 0.5
  current=$(import -display "$DISPLAY" -window root rgb:- | md5sum)
  [ "$current" = "$previous" ] && break
  previous=$current
done
shot="$here/build/demo.png"
import -display "$DISPLAY" -window root "$shot"
echo "demo: no display here, so the window ran on a virtual one; screenshot: $shot" >&2
