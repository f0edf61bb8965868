#!/usr/bin/env bash
# Runs every test of a build directory, with a display of its own for the window tests.
set -euo pipefail
build_dir=${1:-build}
export DBUS_SESSION_BUS_ADDRESS=disabled:
cd "$build_dir"
exec ctest --output-on-failure -j "$(nproc)" --timeout 300
