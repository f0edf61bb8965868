#!/usr/bin/env bash
# Cross-builds the Windows exe and its tests with MinGW-w64 into one build
# directory (default build-windows), with WebView2Loader.dll beside the exe.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build_dir=$(realpath -m "${1:-build-windows}")
build_type=${BUILD_TYPE:-Release}
jobs=${JOBS:-$(nproc)}
read -r -a extra_flags <<<"${CMAKE_FLAGS:-}"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
deps="$build_dir/_deps"
prefix="$deps/prefix"

# GoogleTest for the target, from the sources Debian ships with libgtest-dev.
if [ ! -f "$prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
  echo "windows: building GoogleTest for MinGW-w64"
  cmake -S /usr/src/googletest -B "$deps/googletest" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -Dgtest_disable_pthreads=OFF \
    -DBUILD_GMOCK=ON >/dev/null
  cmake --build "$deps/googletest" -j "$jobs" >/dev/null
  cmake --install "$deps/googletest" >/dev/null
fi

# nlohmann/json is header-only: the host's headers and package files, moved
# into the target's prefix so that no host include folder reaches the compiler.
if [ ! -f "$prefix/share/cmake/nlohmann_json/nlohmann_jsonConfig.cmake" ]; then
  mkdir -p "$prefix/include" "$prefix/share/cmake"
  cp -r /usr/include/nlohmann "$prefix/include/"
  cp -r /usr/share/cmake/nlohmann_json "$prefix/share/cmake/"
fi

sdk=$(bash scripts/webview2-sdk.sh)
cmake -S . -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DVORPEL_WINDOWS_DEPS_PREFIX="$prefix" -DCMAKE_BUILD_TYPE="$build_type" \
  -DVORPEL_BUILD_TESTS=ON -DVORPEL_BUILD_BENCHMARKS=OFF -DVORPEL_WEBVIEW2_SDK_DIR="$sdk" "${extra_flags[@]}" >/dev/null
cmake --build "$build_dir" -j "$jobs"
