#!/usr/bin/env bash
# Times `vorpel_inspector --print-url` against a live node inspector, side by
# side with `curl -s http://ADDR/json`, and prints the ratio of the medians.
# usage: bench/discovery_vs_curl.sh [path/to/vorpel_inspector] [runs]
set -euo pipefail
program=${1:-build/vorpel_inspector}
runs=${2:-50}
command -v curl >/dev/null || { echo "needs curl" >&2; exit 1; }

source "$(dirname "$0")/../scripts/node-inspector.sh"
log=$(mktemp)
trap 'kill "${NODE_PID:-}" 2>/dev/null || true; rm -f "$log"' EXIT
start_node_inspector "$log" --inspect=127.0.0.1:0 -e 'setInterval(() => {}, 1000)'
address=$INSPECTOR_ADDRESS

# Median wall time in microseconds of `runs` runs of the given command.
median_us() {
  local times=()
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    times+=($(((end - start) / 1000)))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'
}

# Warm both up once, then alternate nothing: each gets its own series.
"$program" --print-url "$address" >/dev/null
curl -s "http://$address/json" >/dev/null
ours=$(median_us "$program" --print-url "$address")
curls=$(median_us curl -s "http://$address/json")
echo "vorpel_inspector --print-url: ${ours} us (median of $runs)"
echo "curl -s http://$address/json: ${curls} us (median of $runs)"
awk -v a="$ours" -v b="$curls" 'BEGIN {printf "ratio: %.2f\n", a / b}'
