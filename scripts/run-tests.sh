#!/usr/bin/env bash
# Runs every test suite (scripts/tests.d): first each stage's build, one after
# another with all cores; then the stages' tests, some side by side:
#   1. 10-linux, 30-sanitizers and 40-fuzz together. The first two mostly wait
#      (on retry windows, engines and windows), so the fuzzers, bounded by the
#      clock, take the idle CPU at the lowest priority without slowing them;
#   2. 20-windows alone: its window checks are the most sensitive to load.
# Each stage's output is shown whole once it is over, the fuzz stage's last,
# so the closing line is a CTest summary. Any stage failing fails the run.
set -uo pipefail
cd "$(dirname "$0")/.."
export BUILD_DIR=${1:-build}
export DBUS_SESSION_BUS_ADDRESS=disabled:
logs=$(mktemp -d)
# Stages still running when the run ends early (a failed build, Ctrl-C) end
# with it: each runs in a session of its own.
cleanup() {
  local pid_file name
  for pid_file in "$logs"/*.pid; do
    [ -f "$pid_file" ] || continue
    name=$(basename "$pid_file" .pid)
    [ -f "$logs/$name.done" ] || kill -- "-$(cat "$pid_file")" 2>/dev/null
  done
  rm -rf "$logs"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

for stage in scripts/tests.d/*.sh; do
  bash "$stage" build || { echo "== $(basename "$stage" .sh): build failed"; exit 1; }
done

declare -A seconds status
# start NAME [PREFIX...]: runs the stage's tests in the background, into its log.
start() {
  local name=$1
  shift
  (
    began=$SECONDS
    setsid "$@" bash "scripts/tests.d/$name.sh" run >"$logs/$name.log" 2>&1 </dev/null &
    echo $! >"$logs/$name.pid"
    wait $!
    code=$?
    echo "$code $((SECONDS - began))" >"$logs/$name.done"
  ) &
}
# finish NAME: waits for the stage, then shows its output.
finish() {
  local name=$1
  while [ ! -f "$logs/$name.done" ]; do sleep 1; done
  read -r "status[$name]" "seconds[$name]" <"$logs/$name.done"
  echo "== $name (${seconds[$name]} s)"
  cat "$logs/$name.log"
}

start 10-linux
start 30-sanitizers
start 40-fuzz nice -n 19
finish 10-linux
finish 30-sanitizers
failed=0
for name in 10-linux 30-sanitizers; do [ "${status[$name]}" = 0 ] || failed=1; done
if [ "$failed" = 0 ]; then
  start 20-windows
  finish 20-windows
  [ "${status[20-windows]}" = 0 ] || failed=1
fi
finish 40-fuzz
[ "${status[40-fuzz]}" = 0 ] || failed=1
exit "$failed"
