#!/usr/bin/env bash
# The unit and process-level suites again, built with AddressSanitizer and
# UndefinedBehaviorSanitizer in a build directory of their own.
#   30-sanitizers.sh [build|run]   (both when not given)
set -euo pipefail
cd "$(dirname "$0")/../.."
dir=build-asan
if [ "${1:-build}" = build ]; then
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORPEL_SANITIZE=ON \
    -DVORPEL_BUILD_TESTS=ON -DVORPEL_BUILD_BENCHMARKS=OFF ${CMAKE_FLAGS:-} >/dev/null
  cmake --build "$dir" -j "$(nproc)" --target vorpel_inspector core_tests frontend_tests \
    process_tests misbehaving_inspector_tests >/dev/null
fi
if [ "${1:-run}" = run ]; then
  cd "$dir"
  ctest --output-on-failure -j "$(nproc)" --timeout 300 -L 'unit|process'
fi
