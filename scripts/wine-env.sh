#!/usr/bin/env bash
# Sourced: the Wine settings every Windows run of the project uses, and a
# one-time preparation of the prefix.

export WINEPREFIX=${VORPEL_WINEPREFIX:-/tmp/vorpel-wine-$(id -u)}
export WINEDEBUG=-all
# No .NET or Gecko installer prompts when the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine converts arguments and environment from the locale's charset.
export LANG=C.UTF-8
export LC_ALL=C.UTF-8

# Debian's `wine` script warns about the missing 32-bit loader; the 64-bit one is all we use.
vorpel_wine_loader() {
  local candidate
  for candidate in /usr/lib/wine/wine64 "$(command -v wine64 2>/dev/null)" "$(command -v wine 2>/dev/null)"; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then
      echo "$candidate"
      return 0
    fi
  done
  return 1
}

vorpel_wineserver() {
  local candidate
  for candidate in /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver "$(command -v wineserver 2>/dev/null)"; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then
      echo "$candidate"
      return 0
    fi
  done
  return 1
}

# Makes the prefix once (wineboot, no crash debugger) and keeps the wineserver
# up between runs, so that each run does not pay for a server start; it ends by
# itself a minute after the last Windows program.
vorpel_wine_prepare() {
  local loader server
  loader=$(vorpel_wine_loader) || { echo "wine is not installed" >&2; return 1; }
  server=$(vorpel_wineserver) || { echo "wineserver is not installed" >&2; return 1; }
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    # Wine's daemons must not inherit the lock's descriptor, nor the caller's
    # output: a server holding CTest's pipe makes every run wait for it to end.
    local started=0
    "$server" -p60 </dev/null >/dev/null 2>&1 9>&- && started=1  # status 2: already running
    if [ -f "$WINEPREFIX/.vorpel-ready" ]; then
      # The first program of a server starts Wine's services, which keep the
      # streams they inherit: let that be a program whose streams are closed.
      if [ "$started" = 1 ]; then
        "$loader" wineboot </dev/null >/dev/null 2>&1 9>&- || true
      fi
    else
      "$loader" wineboot -i </dev/null >/dev/null 2>&1 9>&-
      # Without this a crashing program may exit 0, or block on a dialog.
      local key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug'
      "$loader" reg add "$key" /v Debugger /t REG_SZ /d "" /f >/dev/null 2>&1 9>&-
      "$loader" reg add "$key" /v Auto /t REG_SZ /d 0 /f >/dev/null 2>&1 9>&-
      touch "$WINEPREFIX/.vorpel-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
}
