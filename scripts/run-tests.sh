#!/usr/bin/env bash
# Runs every test suite, one stage after another (scripts/tests.d, in name
# order); stops at the first stage that fails.
set -euo pipefail
cd "$(dirname "$0")/.."
export BUILD_DIR=${1:-build}
export DBUS_SESSION_BUS_ADDRESS=disabled:
for stage in scripts/tests.d/*.sh; do
  echo "== $(basename "$stage" .sh)"
  bash "$stage"
done
