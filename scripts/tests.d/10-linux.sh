#!/usr/bin/env bash
# The Linux build: unit, process and end-to-end tests (the last with their own Xvfb).
set -euo pipefail
cd "${BUILD_DIR:-build}"
ctest --output-on-failure -j "$(nproc)" --timeout 300
