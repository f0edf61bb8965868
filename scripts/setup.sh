#!/usr/bin/env bash
# Installs what a make target needs, once; cheap when all is there.
#   setup.sh [NEED...]   NEED: build | demo | check | windows | fuzz | format | test
# build: the program alone; demo: the program and what showing it takes;
# check: the Linux tests and the engines they run; test: everything `make test`
# runs (check, windows and fuzz). Without a need: test.
set -euo pipefail
cd "$(dirname "$0")/.."

needs=("$@")
[ ${#needs[@]} -gt 0 ] || needs=(test)

build_packages=(
  cmake make g++ pkg-config nlohmann-json3-dev libssl-dev
  libgtk-3-dev libwebkit2gtk-4.1-dev
)
check_packages=(
  libgtest-dev libbenchmark-dev
  xvfb xauth xdotool xclip x11-utils imagemagick python3
)
# The cross compiler, Wine to run its tests (CTest lists them under Wine at
# build time), GoogleTest's sources for the target, and the window watcher.
windows_packages=(g++-mingw-w64-x86-64-posix wine64 wine libgtest-dev xvfb python3)
fuzz_packages=(clang libclang-rt-14-dev)

packages=()
frontend=0 runtimes=0 webview2=0
for need in "${needs[@]}"; do
  case $need in
    build) ;;
    demo)
      packages+=(nodejs)  # runs the sample program
      # Without a display the demo opens the window on Xvfb and takes a screenshot.
      [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || packages+=(xvfb imagemagick)
      ;;
    check) packages+=("${check_packages[@]}") runtimes=1 ;;
    windows) packages+=("${windows_packages[@]}") webview2=1 ;;
    fuzz) packages+=("${fuzz_packages[@]}") ;;
    format) packages+=(clang-format) ;;
    test)
      packages+=("${check_packages[@]}" "${windows_packages[@]}" "${fuzz_packages[@]}")
      runtimes=1 webview2=1
      ;;
    *)
      echo "setup: unknown need '$need' (build, demo, check, windows, fuzz, format or test)" >&2
      exit 2
      ;;
  esac
  # Every need but format builds the program, which embeds the frontend package.
  if [ "$need" != format ]; then
    packages+=("${build_packages[@]}")
    frontend=1
  fi
done
if [ -n "${VORPEL_SETUP_EXTRA:-}" ]; then
  read -r -a extra <<<"$VORPEL_SETUP_EXTRA"
  packages+=("${extra[@]}")
fi

# node and npm may come from elsewhere than Debian's packages.
wanted=()
for package in "${packages[@]}"; do
  case $package in
    nodejs) command -v node >/dev/null || wanted+=(nodejs) ;;
    *) wanted+=("$package") ;;
  esac
done
if [ $((frontend + runtimes)) -gt 0 ]; then
  command -v node >/dev/null || wanted+=(nodejs)
  command -v npm >/dev/null || wanted+=(npm)
fi

missing=()
for package in $(printf '%s\n' "${wanted[@]}" | sort -u); do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

# npm ci in a folder, exactly as its lockfile pins it, unless done since the
# lockfile last changed.
npm_ci() {
  local folder=$1 stamp=$1/node_modules/.vorpel-installed
  if [ ! -f "$stamp" ] || [ "$folder/package-lock.json" -nt "$stamp" ]; then
    echo "setup: npm ci in $folder"
    (cd "$folder" && npm ci --no-audit --no-fund --loglevel=error)
    touch "$stamp"
  fi
}
# The frontend package the program embeds.
[ "$frontend" = 0 ] || npm_ci inspector/frontend
# The script engines the tests run against (Node releases, Deno, workerd).
[ "$runtimes" = 0 ] || npm_ci inspector/tests/runtimes

# The pinned Microsoft.Web.WebView2 package (or WEBVIEW2_SDK_DIR); without it the
# Windows web view tests report themselves skipped.
if [ "$webview2" = 1 ] && [ -z "$(bash scripts/webview2-sdk.sh)" ]; then
  echo "setup: no WebView2 SDK; the Windows web view tests will be skipped"
fi
