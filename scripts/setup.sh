#!/usr/bin/env bash
# Installs what building and testing need, once; cheap when all is there.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake make g++ pkg-config clang-format clang libclang-rt-14-dev
  libgtest-dev libbenchmark-dev nlohmann-json3-dev libssl-dev
  libgtk-3-dev libwebkit2gtk-4.1-dev
  xvfb xauth xdotool x11-utils imagemagick
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
