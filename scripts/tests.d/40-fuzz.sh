#!/usr/bin/env bash
# Each libFuzzer target for VORPEL_FUZZ_SECONDS (60 by default), from its
# committed seeds, as CTest entries labelled fuzz. Runs last, so the closing
# line of the whole run stays a CTest summary.
set -euo pipefail
cd "$(dirname "$0")/../.."
make --no-print-directory fuzz JOBS="$(nproc)" \
  CMAKE_FLAGS="${CMAKE_FLAGS:-} -DVORPEL_FUZZ_SECONDS=${VORPEL_FUZZ_SECONDS:-60}" >/dev/null
cd build-fuzz
# All three at once: the runs are bounded by wall-clock time, not by work.
ctest --output-on-failure -j 3 -L fuzz
