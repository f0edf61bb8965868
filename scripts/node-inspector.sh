# Sourced: start_node_inspector LOG NODE-ARGS... starts node with its inspector
# on a free loopback port, sets NODE_PID and INSPECTOR_ADDRESS (host:port).
start_node_inspector() {
  local log=$1
  shift
  node "$@" 2>"$log" &
  NODE_PID=$!
  INSPECTOR_ADDRESS=""
  for _ in $(seq 100); do
    INSPECTOR_ADDRESS=$(sed -n 's|^Debugger listening on ws://\([^/]*\)/.*|\1|p' "$log" | head -n 1)
    [ -n "$INSPECTOR_ADDRESS" ] && return 0
    sleep 0.1
  done
  echo "node did not start its inspector:" >&2
  cat "$log" >&2
  return 1
}
