#!/usr/bin/env bash
# The Windows exe under Wine, one case per run:
#   windows_test.sh CASE EXE WITH_WEBVIEW2
# CASE: non-ascii-argument | window-with-loader | window-without-loader.
# Exit 77 (reported as skipped by CTest) names what is missing.
set -uo pipefail
case_name=$1
exe=$(realpath "$2")
with_webview2=$3
root=$(cd "$(dirname "$0")/../../.." && pwd)
run=("$root/scripts/wine-run.sh")
work=$(mktemp -d)
pids=()
private_prefix=
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  if [ -n "$private_prefix" ]; then
    WINEPREFIX=$private_prefix "$(vorpel_wineserver)" -k 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

skip() {
  echo "SKIPPED: $*"
  exit 77
}
failures=0
check() {  # check DESCRIPTION ACTUAL EXPECTED
  if [ "$2" != "$3" ]; then
    printf 'FAILED: %s\n  actual:   %q\n  expected: %q\n' "$1" "$2" "$3"
    failures=$((failures + 1))
  fi
}
check_match() {  # check_match DESCRIPTION ACTUAL EXTENDED-REGEX
  if ! grep -Eq -- "$3" <<<"$2"; then
    printf 'FAILED: %s\n  actual: %q\n  pattern: %s\n' "$1" "$2" "$3"
    failures=$((failures + 1))
  fi
}
finish() {
  [ "$failures" -eq 0 ] && echo "passed: $case_name" && exit 0
  exit 1
}

title=$'vorpel \xe2\x80\x94 script inspector'
webview_error="Error: failed to create webview (is the WebView2 runtime installed?)"

# A display of the test's own, the first free one from :77 on.
start_display() {
  command -v Xvfb >/dev/null || skip "Xvfb is not installed"
  command -v python3 >/dev/null || skip "python3 is not installed (the window watcher)"
  local n
  for n in $(seq 77 140); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      sleep 0.1
    done
    if kill -0 "${pids[-1]}" 2>/dev/null; then
      export DISPLAY=":$n"
      return 0
    fi
  done
  skip "no free X display for Xvfb"
}

# Wine's desktop belongs to the display of the session's first window: a window
# test gets a session of its own (a Wine server on a linked copy of the shared
# prefix), so that its windows go to its own display, whatever else runs.
use_private_wine_session() {
  # shellcheck source=../../../scripts/wine-env.sh
  source "$root/scripts/wine-env.sh"
  DISPLAY= vorpel_wine_prepare || exit 1
  private_prefix="$work/wine"
  # Linked, as the DLLs are never written; the files at the top (registry,
  # the server's notes) are copied, so that this session cannot touch the shared ones.
  cp -al "$WINEPREFIX" "$private_prefix" 2>/dev/null || cp -a "$WINEPREFIX" "$private_prefix"
  rm -f "$private_prefix/wineserver"
  local file
  for file in "$private_prefix"/* "$private_prefix"/.[!.]*; do
    [ -f "$file" ] && cp --remove-destination "$WINEPREFIX/${file##*/}" "$file"
  done
  export VORPEL_WINEPREFIX=$private_prefix
}

# Runs the exe on a real node inspector while watching the display; sets
# status, out, err and windows (one "WxH title" line per mapped window).
run_window_case() {
  local program=$1
  command -v node >/dev/null || skip "node is not installed"
  start_display
  use_private_wine_session
  # shellcheck source=../../../scripts/node-inspector.sh
  source "$root/scripts/node-inspector.sh"
  start_node_inspector "$work/node.log" --inspect=127.0.0.1:0 -e 'setInterval(() => {}, 1000)' ||
    exit 1
  pids+=("$NODE_PID")
  python3 "$root/inspector/tests/windows/x_map_watch.py" >"$work/windows" 2>"$work/watch.err" &
  pids+=($!)
  for _ in $(seq 50); do
    grep -q '^ready$' "$work/windows" && break
    sleep 0.1
  done
  "${run[@]}" "$program" "$INSPECTOR_ADDRESS" >"$work/out" 2>"$work/err"
  status=$?
  # The watcher reports a map a moment after it happened.
  for _ in $(seq 30); do
    grep -q "$title" "$work/windows" && break
    sleep 0.1
  done
  out=$(cat "$work/out")
  err=$(cat "$work/err")
  windows=$(cat "$work/windows")
}

check_window_run() {
  check "exit status" "$status" 1
  check "three lines on standard output" "$(wc -l <<<"$out")" 3
  check_match "frontend address line" "$out" \
    '^vorpel_inspector: devtools   = http://devtools\.localhost/js_app\.html\?ws='
  check "window with the exact title, client area 800x600" \
    "$(grep -Fx -m 1 "800x600 $title" <<<"$windows")" "800x600 $title"
  check "first line of the report" "$(head -n 1 <<<"$err")" "$webview_error"
  check "causes follow" "$(sed -n 3p <<<"$err")" "Caused by:"
}

case $case_name in
  non-ascii-argument)
    # Arguments and the override travel as UTF-16 and must come back as the same UTF-8.
    address=$'h\xc3\xa9\xe2\x80\x94\xf0\x9f\x98\x80'
    "${run[@]}" "$exe" --print-url "$address" >"$work/out" 2>"$work/err"
    check "exit status" "$?" 1
    check "nothing on standard output" "$(cat "$work/out")" ""
    check "report names the address byte for byte" "$(cat "$work/err")" \
      "Error: failed to read inspector targets from http://$address/json

Caused by:
    0: connect to inspector at $address
    1: invalid socket address"
    ;;
  window-with-loader)
    [ "$with_webview2" = ON ] || skip "built without the WebView2 SDK"
    [ -f "$(dirname "$exe")/WebView2Loader.dll" ] || skip "WebView2Loader.dll is not beside the exe"
    run_window_case "$exe"
    check_window_run
    # Wine has no WebView2 runtime: the loader itself reports it.
    check_match "the loader's error is the cause" "$(sed -n '4,$p' <<<"$err")" \
      '^    0: create the WebView2 environment
    1: .*\((os error [0-9]+|HRESULT 0x[0-9A-F]{8})\)$'
    ;;
  window-without-loader)
    [ "$with_webview2" = ON ] || skip "built without the WebView2 SDK"
    # The exe is self-contained: alone in a folder it has no WebView2Loader.dll.
    cp "$exe" "$work/vorpel_inspector.exe"
    run_window_case "$work/vorpel_inspector.exe"
    check_window_run
    check_match "the missing loader is the cause" "$(sed -n '4,$p' <<<"$err")" \
      '^    0: load WebView2Loader\.dll
    1: .* \(os error 126\)$'
    ;;
  *)
    echo "unknown case $case_name"
    exit 2
    ;;
esac
finish
