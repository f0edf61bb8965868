#!/usr/bin/env bash
# Installs what building and testing need, once; cheap when all is there.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake make g++ pkg-config clang-format clang libclang-rt-14-dev
  libgtest-dev libbenchmark-dev nlohmann-json3-dev libssl-dev
  libgtk-3-dev libwebkit2gtk-4.1-dev
  xvfb xauth xdotool xclip x11-utils imagemagick
)
if [ -n "${VORPEL_SETUP_EXTRA:-}" ]; then
  read -r -a extra <<<"$VORPEL_SETUP_EXTRA"
  packages+=("${extra[@]}")
fi

# node and npm may come from elsewhere than Debian's packages.
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The frontend package, exactly as the lockfile pins it.
frontend=inspector/frontend
stamp=$frontend/node_modules/.vorpel-installed
if [ ! -f "$stamp" ] || [ "$frontend/package-lock.json" -nt "$stamp" ]; then
  if [ -f "$frontend/package-lock.json" ]; then
    echo "setup: npm ci in $frontend"
    (cd "$frontend" && npm ci --no-audit --no-fund --loglevel=error)
    touch "$stamp"
  fi
fi

# The script engines the tests run against (Node releases, Deno, workerd),
# exactly as their lockfile pins them.
runtimes=inspector/tests/runtimes
stamp=$runtimes/node_modules/.vorpel-installed
if [ ! -f "$stamp" ] || [ "$runtimes/package-lock.json" -nt "$stamp" ]; then
  echo "setup: npm ci in $runtimes"
  (cd "$runtimes" && npm ci --no-audit --no-fund --loglevel=error)
  touch "$stamp"
fi

# --- Windows: the MinGW-w64 cross compiler, Wine to run the tests, the WebView2 SDK ---
windows_packages=(g++-mingw-w64-x86-64-posix wine64 wine)
command -v python3 >/dev/null || windows_packages+=(python3)  # the window test's X watcher
windows_missing=()
for package in "${windows_packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || windows_missing+=("$package")
done
if [ ${#windows_missing[@]} -gt 0 ]; then
  echo "setup: installing ${windows_missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    "${windows_missing[@]}" >/dev/null
fi
# The pinned Microsoft.Web.WebView2 package (or WEBVIEW2_SDK_DIR); without it the
# Windows web view tests report themselves skipped.
if [ -z "$(bash scripts/webview2-sdk.sh)" ]; then
  echo "setup: no WebView2 SDK; the Windows web view tests will be skipped"
fi
