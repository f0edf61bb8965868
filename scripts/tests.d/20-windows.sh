#!/usr/bin/env bash
# The Windows build under Wine: its own tests (unit tests, the exe and its
# window), then the Linux build's process tests with the Windows exe in place
# of the Linux one.
#   20-windows.sh [build|run]   (both when not given)
set -euo pipefail
root=$(pwd)
windows_dir=$(realpath -m "${WINDOWS_BUILD_DIR:-build-windows}")
if [ "${1:-build}" = build ] && [ ! -f "$windows_dir/vorpel_inspector.exe" ]; then
  bash scripts/windows-build.sh "$windows_dir"
fi
[ "${1:-run}" = run ] || exit 0
# shellcheck source=../wine-env.sh
source scripts/wine-env.sh
vorpel_wine_prepare

(cd "$windows_dir" && ctest --output-on-failure -j "$(nproc)" --timeout 300)

echo "== windows: process tests of ${BUILD_DIR:-build} against the Windows exe"
VORPEL_INSPECTOR_COMMAND="$root/scripts/wine-run.sh $windows_dir/vorpel_inspector.exe" \
  ctest --test-dir "${BUILD_DIR:-build}" -L process --output-on-failure -j "$(nproc)" --timeout 300
