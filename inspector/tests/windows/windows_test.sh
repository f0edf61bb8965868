#!/usr/bin/env bash
# The Windows exe under Wine, one case per run:
#   windows_test.sh CASE EXE WITH_WEBVIEW2 [STANDIN_DLL]
# CASE: non-ascii-argument | window-with-loader | window-without-loader, or
# standin-NAME: the window's life against the recording stand-in loader (see
# the scenario table below).
# Exit 77 (reported as skipped by CTest) names what is missing.
set -uo pipefail
case_name=$1
exe=$(realpath "$2")
with_webview2=$3
standin=${4:-}
root=$(cd "$(dirname "$0")/../../.." && pwd)
run=("$root/scripts/wine-run.sh")
work=$(mktemp -d)
pids=()
private_prefix=
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  # Started by a case's background hook, which cannot add to pids.
  [ -f "$work/hook.pids" ] && kill $(cat "$work/hook.pids") 2>/dev/null
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
  if [ -n "${log:-}" ]; then
    printf -- '--- standard error:\n%s\n--- windows mapped:\n%s\n--- the stand-in'"'"'s record:\n%s\n' \
      "$err" "${windows:-}" "$log"
  fi
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
    local server=$!
    pids+=("$server")
    # Tests started together may race for a number: the display is ours only
    # when its lock names our server (the loser's server exits).
    for _ in $(seq 300); do
      kill -0 "$server" 2>/dev/null || break
      if [ -e "/tmp/.X11-unix/X$n" ] &&
        [ "$(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null)" = "$server" ]; then
        export DISPLAY=":$n"
        return 0
      fi
      sleep 0.1
    done
    kill "$server" 2>/dev/null
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
# A case may set window_args (the exe's options), window_without_address=1
# (no address after them), and define during_window_run, started in the
# background beside the exe.
window_args=()
run_window_case() {
  local program=$1
  command -v node >/dev/null || skip "node is not installed"
  start_display
  use_private_wine_session
  # A case may change its own session's registry first.
  if declare -F before_window_run >/dev/null; then before_window_run; fi
  # shellcheck source=../../../scripts/node-inspector.sh
  source "$root/scripts/node-inspector.sh"
  start_node_inspector "$work/node.log" --inspect=127.0.0.1:0 -e 'setInterval(() => {}, 1000)' ||
    exit 1
  pids+=("$NODE_PID")
  python3 "$root/inspector/tests/windows/x_map_watch.py" >"$work/windows" 2>"$work/watch.err" &
  pids+=($!)
  # Generous deadlines: the machine may be busy with other builds.
  for _ in $(seq 300); do
    grep -q '^ready$' "$work/windows" && break
    sleep 0.1
  done
  grep -q '^ready$' "$work/windows" || { echo "the window watcher did not start"; exit 1; }
  # A window that never ends is a failure, not a hung suite.
  if declare -F during_window_run >/dev/null; then
    during_window_run &
    pids+=($!)
  fi
  local address=("$INSPECTOR_ADDRESS")
  [ "${window_without_address:-}" = 1 ] && address=()
  timeout -k 5 200 "${run[@]}" "$program" "${window_args[@]}" "${address[@]}" \
    >"$work/out" 2>"$work/err"
  status=$?
  # The watcher reports a map a moment after it happened.
  for _ in $(seq 100); do
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

# --- The window's life against the recording stand-in loader ---

frontend_files="$root/inspector/frontend/node_modules/chii/public/front_end"

windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# Runs a copy of the exe with the stand-in as its WebView2Loader.dll on SCRIPT;
# sets what run_window_case sets, and log (the stand-in's record).
run_standin_case() {
  [ "$with_webview2" = ON ] || skip "built without the WebView2 SDK"
  [ -f "$standin" ] || skip "no stand-in loader"
  mkdir -p "$work/bin"
  cp "$exe" "$work/bin/vorpel_inspector.exe"
  cp "$standin" "$work/bin/WebView2Loader.dll"
  printf '%s\n' "$1" >"$work/script"
  : >"$work/log"
  VORPEL_STANDIN_SCRIPT=$(windows_path "$work/script")
  VORPEL_STANDIN_LOG=$(windows_path "$work/log")
  export VORPEL_STANDIN_SCRIPT VORPEL_STANDIN_LOG
  run_window_case "$work/bin/vorpel_inspector.exe"
  log=$(tr -d '\r' <"$work/log")
}

# The line number of the first log line matching REGEX after line FROM (0: none).
log_line() {  # log_line REGEX [FROM]
  local found
  found=$(tail -n +"$((${2:-0} + 1))" <<<"$log" | grep -En -m 1 -- "$1" | cut -d: -f1)
  [ -n "$found" ] && echo "$((found + ${2:-0}))" || echo 0
}
check_logged() {  # check_logged DESCRIPTION REGEX [FROM]
  if [ "$(log_line "$2" "${3:-0}")" = 0 ]; then
    printf 'FAILED: %s\n  no log line after line %s matches: %s\n' "$1" "${3:-0}" "$2"
    failures=$((failures + 1))
  fi
}
check_not_logged() {  # check_not_logged DESCRIPTION REGEX
  if [ "$(log_line "$2")" != 0 ]; then
    printf 'FAILED: %s\n  logged: %s\n' "$1" "$(grep -E -m 1 -- "$2" <<<"$log")"
    failures=$((failures + 1))
  fi
}
check_before() {  # check_before DESCRIPTION FIRST-REGEX THEN-REGEX
  local first then
  first=$(log_line "$2")
  then=$(log_line "$3")
  if [ "$first" = 0 ] || [ "$then" = 0 ] || [ "$first" -ge "$then" ]; then
    printf 'FAILED: %s\n  %s (line %s) must come before %s (line %s)\n' "$1" "$2" "$first" "$3" "$then"
    failures=$((failures + 1))
  fi
}
# The last put_Bounds before line UNTIL.
last_bounds() {
  head -n "$(($1 - 1))" <<<"$log" | sed -n 's/^Controller\.put_Bounds //p' | tail -n 1
}
check_ended() {  # check_ended STATUS REPORT
  check "exit status" "$status" "$1"
  check "report" "$err" "$2"
  check "three lines on standard output" "$(wc -l <<<"$out")" 3
  check_not_logged "every call on the UI thread" '^WRONG THREAD'
}
check_window_shown() {
  check "window with the exact title, client area 800x600" \
    "$(grep -Fx -m 1 "800x600 $title" <<<"$windows")" "800x600 $title"
}
report() {  # report OUTERMOST CAUSE...
  printf 'Error: %s\n\nCaused by:' "$1"
  shift
  # A lone cause is not numbered.
  [ $# -eq 1 ] && printf '\n    %s' "$1" && return
  local i=0 cause
  for cause in "$@"; do
    printf '\n    %d: %s' "$i" "$cause"
    i=$((i + 1))
  done
}
webview_failure="failed to create webview (is the WebView2 runtime installed?)"
# Wine's texts for the failures the stand-in reports.
wine_file_not_found="File not found."
wine_access_denied="Access denied."
wine_unspecified="Call failed."

# The scenarios: each runs a script and checks the record and the ending.
standin_startup() {
  run_standin_case $'wait\nresize 1000 700\ndpi 120\nclose'
  check_ended 0 ""
  check_window_shown
  check_logged "the profile goes to the local application data" \
    '^CreateCoreWebView2EnvironmentWithOptions browser=<null> data=[A-Z]:\\users\\[^\\]+\\AppData\\Local\\vorpel_inspector\\WebView2 options=<null>$'
  check_logged "the environment's completion handler is released" \
    '^> environment handler references left: 0$'
  check_logged "the controller's completion handler is released" \
    '^> controller handler references left: 0$'
  check_logged "the controller's parent is the window" \
    '^Environment\.CreateCoreWebView2Controller parent-is-window=1$'
  local address
  address=$(sed -n 's/^vorpel_inspector: devtools   = //p' <<<"$out")
  check "navigates once to the printed address" \
    "$(grep -c '^WebView\.Navigate ' <<<"$log")/$(grep -m 1 '^WebView\.Navigate ' <<<"$log")" \
    "1/WebView.Navigate $address (devtools=0 zoom-control=0 context-menus=1 script=1)"
  check_before "the filter is registered before the navigation" \
    '^WebView\.AddWebResourceRequestedFilter http://devtools\.\* 0$' '^WebView\.Navigate '
  check_before "the request handler is registered before the navigation" \
    '^WebView\.add_WebResourceRequested$' '^WebView\.Navigate '
  check_before "the web view is shown before the navigation" '^Controller\.put_IsVisible 1$' \
    '^WebView\.Navigate '
  check_logged "the page gets the focus" '^Controller\.MoveFocus 0$' "$(log_line '^WebView\.Navigate ')"
  check "first bounds: the 800x600 client area" \
    "$(sed -n 's/^Controller\.put_Bounds //p' <<<"$log" | head -n 1)" "0 0 800 600"
  # The frame stays as it is: Wine keeps the monitor's DPI.
  local action client resized
  for action in 'resize 1000 700' 'dpi 120'; do
    action=$(log_line "^> $action$")
    client=$(sed -n 's/^> client //p' <<<"$(tail -n +"$action" <<<"$log")" | head -n 1)
    check "bounds follow '$(sed -n "${action}s/^> //p" <<<"$log")'" \
      "$(last_bounds "$(log_line '^> client ' "$action")")" "$client"
    [ -n "${resized:-}" ] || resized=$client
  done
  read -r _ _ width height <<<"$resized"
  check "the DPI change's suggested size is taken" "$client" \
    "0 0 $((width + 250)) $((height + 175))"
}

standin_move() {
  run_standin_case $'move 40 50\nmove 60 70\nclose'
  check_ended 0 ""
  local move
  for move in '40 50' '60 70'; do
    check_logged "the web view hears of the move to $move" \
      "^Controller\.NotifyParentWindowPositionChanged \(parent at $move\)$" "$(log_line "^> move $move$")"
  done
}

standin_minimize() {
  run_standin_case $'minimize\nwait\nrestore\nwait\nclose'
  check_ended 0 ""
  local minimized restored
  minimized=$(log_line '^> minimize$')
  restored=$(log_line '^> restore$')
  check "hidden while minimised" "$(log_line '^Controller\.put_IsVisible ' "$minimized")" \
    "$(log_line '^Controller\.put_IsVisible 0$' "$minimized")"
  check "hidden before the restore" "$(($(log_line '^Controller\.put_IsVisible 0$' "$minimized") < restored))" 1
  check_logged "shown again on restore" '^Controller\.put_IsVisible 1$' "$restored"
  check "bounds are the restored client area" "$(last_bounds "$(log_line '^> client ' "$restored")")" \
    "$(sed -n "$(log_line '^> client ' "$restored")s/^> client //p" <<<"$log")"
}

standin_serving() {
  # PATH STATUS REASON CONTENT-TYPE (the body is the table's file, or "Not Found").
  local requests=(
    "js_app.html 200 OK text/html; charset=utf-8"
    "ui/legacy/legacy.js 200 OK text/javascript; charset=utf-8"
    "Images/touchCursor_2x.png 200 OK image/png"
    "Images/zoom-in.svg 200 OK image/svg+xml"
    "core/i18n/locales/en-US.json 200 OK application/json; charset=utf-8"
    "no/such/file.js 404 Not Found text/plain; charset=utf-8"
  )
  local script="" entry
  for entry in "${requests[@]}"; do
    script+="request GET http://devtools.localhost/${entry%% *}"$'\n'
  done
  run_standin_case "${script}request GET https://example.com/js_app.html"$'\nclose'
  check_ended 0 ""
  local number=0 path rest status reason type expected size
  for entry in "${requests[@]}"; do
    number=$((number + 1))
    path=${entry%% *}
    rest=${entry#* }
    status=${rest%% *}
    rest=${rest#* }
    if [ "$status" = 200 ]; then
      reason=OK type=${rest#OK }
      expected="$frontend_files/$path"
    else
      reason="Not Found" type=${rest#Not Found }
      printf 'Not Found' >"$work/not-found"
      expected="$work/not-found"
    fi
    size=$(stat -c %s "$expected")
    check_logged "$path: status, reason and headers" \
      "^Environment\.CreateWebResourceResponse $status \[$reason\] \[content-type: ${type//+/\\+}\]$" \
      "$(log_line "^> request GET http://devtools\.localhost/$path$")"
    check "$path: read whole from another thread with the UI thread busy" \
      "$(grep -m 1 "^> response $number " <<<"$log")" \
      "> response $number $status [$reason] read: $size bytes, the stream itself, last read 0x00000001"
    if ! cmp -s "$work/log.body$number" "$expected"; then
      echo "FAILED: $path: the bytes read are not the table's"
      failures=$((failures + 1))
    fi
    check "$path: every reference returned" \
      "$(grep -m 1 "^> response $number references" <<<"$log")" \
      "> response $number references left: stream 0, request objects 0"
  done
  check "an address outside the filter is not the program's" \
    "$(grep -m 1 "^> response $((number + 1))" <<<"$log")" "> response $((number + 1)): none"
}

# --follow: node restarted at the same port once the window shows the first
# target; the window navigates to the new one from the watcher's thread.
standin_follow() {
  window_args=(--follow)
  during_window_run() {
    for _ in $(seq 600); do
      grep -q '^WebView\.Navigate ' "$work/log" 2>/dev/null && break
      sleep 0.1
    done
    kill "$NODE_PID"
    while kill -0 "$NODE_PID" 2>/dev/null; do sleep 0.05; done
    node --inspect="$INSPECTOR_ADDRESS" -e 'setInterval(() => {}, 1000)' 2>"$work/node2.log" &
    echo $! >>"$work/hook.pids"
  }
  run_standin_case $'await-navigation 2\nclose'
  check "exit status" "$status" 0
  check "report" "$err" ""
  check_not_logged "every call on the UI thread" '^WRONG THREAD'
  check_not_logged "the second navigation came in time" '^> no navigation'
  local second_id
  second_id=$(sed -n 's|^Debugger listening on ws://[^/]*/||p' "$work/node2.log" | head -n 1)
  check "five lines on standard output" "$(wc -l <<<"$out")" 5
  check_match "the new target is printed" "$(sed -n 4p <<<"$out")" \
    "^vorpel_inspector: ws target  = .*/$second_id\$"
  local navigations
  navigations=$(sed -n 's/^WebView\.Navigate \(.*\) (.*)$/\1/p' <<<"$log")
  check "navigates to each printed address in turn" "$navigations" \
    "$(sed -n 's/^vorpel_inspector: devtools   = //p' <<<"$out")"
}

# --workspace: the page's messages reach the core, and its answers go back
# through PostWebMessageAsJson on the UI thread, a loopback fetch's too.
standin_workspace() {
  local project="$work/project" served="$work/served"
  mkdir -p "$project" "$work/elsewhere" "$served"
  printf '{"version":3,"sources":["app.ts"]}' >"$project/app.js.map"
  printf 'secret' >"$work/elsewhere/secret.map"
  printf 'served map' >"$served/dev.js.map"
  local port
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  python3 -m http.server "$port" --bind 127.0.0.1 --directory "$served" >/dev/null 2>&1 &
  pids+=($!)
  window_args=(--workspace "$(windows_path "$project")")
  local files="file:///Z:$work" script
  script=$'web-message {"id":1,"method":"requestFileSystems","params":[]}\n'
  script+="web-message {\"id\":2,\"method\":\"loadNetworkResource\",\"params\":[\"$files/project/app.js.map\",\"\",7]}"$'\n'
  script+="web-message {\"id\":3,\"method\":\"loadNetworkResource\",\"params\":[\"$files/elsewhere/secret.map\",\"\",8]}"$'\n'
  script+="web-message {\"id\":4,\"method\":\"loadNetworkResource\",\"params\":[\"http://127.0.0.1:$port/dev.js.map\",\"\",9]}"$'\n'
  script+=$'web-message not json\n'
  script+="web-message {\"id\":5,\"method\":\"file.entries\",\"params\":[\"Z:$project\"]}"$'\n'
  script+="web-message {\"id\":6,\"method\":\"searchInPath\",\"params\":[1,\"Z:$project\",\"version\"]}"$'\n'
  script+=$(printf 'wait\n%.0s' $(seq 30))$'\nclose'
  run_standin_case "$script"
  check_ended 0 ""
  check_window_shown
  check_before "the host's script is added before the navigation" \
    '^WebView\.AddScriptToExecuteOnDocumentCreated [0-9]+ characters, posts to the web view, defines the host$' \
    '^WebView\.Navigate '
  check_before "the page's messages are listened to before the navigation" \
    '^WebView\.add_WebMessageReceived$' '^WebView\.Navigate '
  local z_project
  z_project="Z:${project}"
  check_logged "the workspace is the page's file system" \
    "^WebView\.PostWebMessageAsJson \{\"event\":\"fileSystemsLoaded\",\"params\":\[\[\{\"fileSystemName\":\"${z_project//\//\\/}\"" \
    "$(log_line '^> web-message \{"id":1,')"
  check_logged "a map inside the workspace is streamed" \
    '^WebView\.PostWebMessageAsJson \{"event":"streamWrite","params":\[7,"\{\\"version\\":3,\\"sources\\":\[\\"app\.ts\\"\]\}"\]\}$' \
    "$(log_line '^> web-message \{"id":2,')"
  check_logged "and answered" '^WebView\.PostWebMessageAsJson \{"id":2,"result":\{"statusCode":200\}\}$'
  check_logged "a map outside it is refused" \
    '^WebView\.PostWebMessageAsJson \{"id":3,"result":\{"messageOverride":"vorpel_inspector: the path is outside the folders given to the window","statusCode":403\}\}$'
  check_not_logged "nothing of it is streamed" '"streamWrite","params":\[8,'
  check_logged "the loopback server's map is streamed" \
    '^WebView\.PostWebMessageAsJson \{"event":"streamWrite","params":\[9,"served map"\]\}$' \
    "$(log_line '^> web-message \{"id":4,')"
  check_logged "and answered after the fetch" '^WebView\.PostWebMessageAsJson \{"id":4,"result":\{"statusCode":200\}\}$'
  check "malformed text gets no answer" \
    "$(tail -n +"$(log_line '^> web-message not json$')" <<<"$log" | sed -n 2p)" \
    "WebMessageArgs.TryGetWebMessageAsString"
  check_logged "the folder is listed through its handle" \
    '^WebView\.PostWebMessageAsJson \{"id":5,"result":\[\{"folder":false,"name":"app\.js\.map"\}\]\}$'
  check_logged "and searched" \
    "^WebView\.PostWebMessageAsJson \{\"event\":\"searchCompleted\",\"params\":\[1,\"${z_project//\//\\/}\",\[\"${z_project//\//\\/}\/app\.js\.map\"\]\]\}$"
  check "every message was answered, once" "$(grep -c '^WebView\.PostWebMessageAsJson {"id":' <<<"$log")" 4
}

# Without --workspace the web view gets no script and no message handler.
standin_no_workspace() {
  run_standin_case $'wait\nclose'
  check_ended 0 ""
  check_not_logged "no script for new documents" '^WebView\.AddScriptToExecuteOnDocumentCreated'
  check_not_logged "no message handler" '^WebView\.add_WebMessageReceived'
  check_not_logged "nothing posted to the page" '^WebView\.PostWebMessageAsJson'
}

# --run: the hub's script comes before the navigation, its list reaches the
# page from another thread through the UI thread, and closing ends the
# command's processes (a ping that cmd started) and gives the command's status.
standin_run() {
  window_args=(--run cmd /c "ping -n 61 127.0.0.1 >nul")
  window_without_address=1
  run_standin_case "$(printf 'wait\n%.0s' $(seq 15))"$'\nclose'
  check "exit status: the ended command's" "$status" 1
  check "report" "$err" ""
  check "the command's end is the last line" "$(tail -n 1 <<<"$out")" \
    "vorpel_inspector: the command ended with status 1"
  check_window_shown
  check_not_logged "every call on the UI thread" '^WRONG THREAD'
  check_before "the hub's script is added before the navigation" \
    '^WebView\.AddScriptToExecuteOnDocumentCreated [0-9]+ characters, the target hub$' \
    '^WebView\.Navigate http://devtools\.localhost/node_app\.html\?ws=vorpel-hub&'
  check "the list reaches the page, once at first and again every second" \
    "$(($(grep -c '^WebView\.ExecuteScript window\.vorpelHubTargets && window\.vorpelHubTargets(\[\]);$' <<<"$log") >= 2))" 1
  check "nothing of the command is left" "$(pgrep -f 'ping -n 61 127' || true)" ""
}

# Creation ending early: SCRIPT STATUS, then the report's lines.
standin_lifecycle() {
  run_standin_case "$1"
  shift
  local expected_status=$1
  shift
  if [ $# -gt 0 ]; then
    check_ended "$expected_status" "$(report "$@")"
  else
    check_ended "$expected_status" ""
  fi
  check_window_shown
}

standin_case() {
  case $1 in
    startup) standin_startup ;;
    move) standin_move ;;
    minimize) standin_minimize ;;
    serving) standin_serving ;;
    follow) standin_follow ;;
    workspace) standin_workspace ;;
    no-workspace) standin_no_workspace ;;
    run) standin_run ;;
    close-while-environment-pending)
      standin_lifecycle $'environment pending\nclose' 0
      check_not_logged "no controller was asked for" '^Environment\.'
      ;;
    close-while-controller-pending)
      standin_lifecycle $'controller pending\nclose' 0
      check_not_logged "nothing navigated" '^WebView\.Navigate'
      ;;
    environment-fails-at-once)
      standin_lifecycle 'environment fail-sync 0x80070002' 1 "$webview_failure" \
        "create the WebView2 environment" "$wine_file_not_found (os error 2)"
      ;;
    environment-fails-later)
      standin_lifecycle 'environment fail-async 0x80070005' 1 "$webview_failure" \
        "create the WebView2 environment" "$wine_access_denied (os error 5)"
      ;;
    controller-fails-at-once)
      standin_lifecycle 'controller fail-sync 0x80004005' 1 "$webview_failure" \
        "create the WebView2 controller" "$wine_unspecified (HRESULT 0x80004005)"
      ;;
    controller-fails-later)
      standin_lifecycle 'controller fail-async 0x80070005' 1 "$webview_failure" \
        "create the WebView2 controller" "$wine_access_denied (os error 5)"
      ;;
    browser-process-exits)
      standin_lifecycle $'wait\nprocess-failed browser-exited crashed 0xC0000005\nwait\nclose' 1 \
        "the webview stopped (its browser process exited)" \
        "WebView2 browser process failure (reason: crashed, exit code 0xC0000005)"
      check_not_logged "nothing is closed by the close request" '^> close$'
      ;;
    profile-falls-back)
      # Local application data as a relative path: the profile must not follow it.
      before_window_run() {
        "${run[@]}" reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders' \
          /v 'Local AppData' /t REG_EXPAND_SZ /d 'relative' /f </dev/null >/dev/null 2>&1
        "${run[@]}" reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' \
          /v 'Local AppData' /t REG_SZ /d 'relative' /f </dev/null >/dev/null 2>&1
      }
      standin_lifecycle 'close' 0
      check_logged "the profile goes to the temporary folder" \
        '^CreateCoreWebView2EnvironmentWithOptions browser=<null> data=[A-Z]:\\.*\\vorpel_inspector\\WebView2 options=<null>$'
      ;;
    render-process-exits)
      standin_lifecycle $'wait\nprocess-failed render-exited crashed 5\nwait\nclose' 0
      check_logged "the page is reloaded" '^WebView\.Reload$' "$(log_line '^> process-failed')"
      ;;
    *)
      echo "unknown stand-in case $1"
      exit 2
      ;;
  esac
}

case $case_name in
  standin-*)
    standin_case "${case_name#standin-}"
    ;;
  interrupt)
    # EXE is win32_tests.exe; the test's report shows it ran and passed, and
    # is missing when Ctrl+C ended the test program itself.
    command -v script >/dev/null || skip "script (util-linux) is not installed"
    test_name=Win32Command.InterruptEndsTheCommandNotTheProgram
    script -qec "$(printf '%q ' "${run[@]}" "$exe" "--gtest_filter=$test_name" \
      "--gtest_output=xml:$(windows_path "$work/report.xml")")" /dev/null </dev/null >"$work/out"
    check "the test program's status" "$?" 0
    check_match "the test ran and passed" "$(cat "$work/report.xml" 2>/dev/null)" \
      '<testcase name="InterruptEndsTheCommandNotTheProgram" .*status="run" result="completed"'
    check "no failure in it" "$(grep -c '<failure' "$work/report.xml" 2>/dev/null)" 0
    # The terminal's output, without its escapes, tells what went wrong.
    [ "$failures" -eq 0 ] || sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g' "$work/out"
    ;;
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
