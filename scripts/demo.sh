#!/usr/bin/env bash
# Starts the sample program under a paused inspector and opens vorpel_inspector on it.
set -euo pipefail
program=${1:-build/vorpel_inspector}
here=$(cd "$(dirname "$0")/.." && pwd)
log=$(mktemp)
node --inspect-brk=127.0.0.1:0 "$here/demo/sample.js" 2>"$log" &
node_pid=$!
trap 'kill "$node_pid" 2>/dev/null || true; rm -f "$log"' EXIT

address=""
for _ in $(seq 100); do
  address=$(sed -n 's|^Debugger listening on ws://\([^/]*\)/.*|\1|p' "$log" | head -n 1)
  [ -n "$address" ] && break
  sleep 0.1
done
[ -n "$address" ] || { echo "demo: node did not start its inspector" >&2; cat "$log" >&2; exit 1; }

if [ "${VORPEL_DEMO_PRINT_URL:-}" = 1 ]; then
  "$program" --print-url "$address"
elif [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "demo: no display; printing the addresses only" >&2
  "$program" --print-url "$address"
else
  "$program" "$address"
fi
