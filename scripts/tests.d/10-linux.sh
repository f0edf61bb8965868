#!/usr/bin/env bash
# The Linux build: unit, process and end-to-end tests (the last with their own Xvfb).
#   10-linux.sh [build|run]: nothing to build here, make builds it.
set -euo pipefail
[ "${1:-run}" = run ] || exit 0
cd "${BUILD_DIR:-build}"
ctest --output-on-failure -j "$(nproc)" --timeout 300
