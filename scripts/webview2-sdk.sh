#!/usr/bin/env bash
# The WebView2 SDK for the Windows build: prints its package folder, restoring
# the pinned Microsoft.Web.WebView2 package through NuGet when needed.
# WEBVIEW2_SDK_DIR, when set, is used as it is. Prints nothing when the SDK cannot be had.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
project="$root/tools/webview2-sdk/webview2-sdk.csproj"
restore_dir="${VORPEL_WEBVIEW2_RESTORE_DIR:-$root/build-windows/_sdk}"

if [ -n "${WEBVIEW2_SDK_DIR:-}" ]; then
  echo "$WEBVIEW2_SDK_DIR"
  exit 0
fi

version=$(sed -n 's/.*Include="Microsoft.Web.WebView2" Version="\([^"]*\)".*/\1/p' "$project")
folder="$restore_dir/packages/microsoft.web.webview2/$version"
if [ ! -f "$folder/build/native/include/WebView2.h" ]; then
  if ! command -v dotnet >/dev/null 2>&1; then
    echo "webview2-sdk: no dotnet to restore Microsoft.Web.WebView2 $version" >&2
    exit 0
  fi
  mkdir -p "$restore_dir"
  cp "$project" "$restore_dir/"
  if ! (cd "$restore_dir" && DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1 \
        dotnet restore --packages "$restore_dir/packages" >"$restore_dir/restore.log" 2>&1); then
    echo "webview2-sdk: restoring Microsoft.Web.WebView2 $version failed (see $restore_dir/restore.log)" >&2
    exit 0
  fi
fi
[ -f "$folder/build/native/include/WebView2.h" ] && echo "$folder"
exit 0
