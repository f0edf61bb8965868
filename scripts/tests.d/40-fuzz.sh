#!/usr/bin/env bash
# Each libFuzzer target for VORPEL_FUZZ_SECONDS (60 by default), from its
# committed seeds, as CTest entries labelled fuzz.
#   40-fuzz.sh [build|run]   (both when not given)
set -euo pipefail
cd "$(dirname "$0")/../.."
if [ "${1:-build}" = build ]; then
  make --no-print-directory fuzz JOBS="$(nproc)" \
    CMAKE_FLAGS="${CMAKE_FLAGS:-} -DVORPEL_FUZZ_SECONDS=${VORPEL_FUZZ_SECONDS:-60}" >/dev/null
fi
if [ "${1:-run}" = run ]; then
  cd build-fuzz
  # All three at once: the runs are bounded by wall-clock time, not by work.
  ctest --output-on-failure -j 3 -L fuzz
fi
