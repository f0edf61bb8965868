#!/usr/bin/env bash
# The Windows zip: the exe and WebView2Loader.dll from build-windows/ (read
# only), with the licence texts of what the exe contains or ships beside it.
# Skipped, with a note, when there is no Windows build.
set -euo pipefail
cd "$(dirname "$0")/.."
out_dir=${1:-build-pkg}
windows=${WINDOWS_BUILD_DIR:-build-windows}
if [ ! -f "$windows/vorpel_inspector.exe" ]; then
  echo "package: no $windows/vorpel_inspector.exe; Windows zip skipped"
  exit 0
fi

version=$(sed -n 's/^project(vorpel_inspector VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name="vorpel_inspector-$version-win64"
stage="$out_dir/_windows/$name"
rm -rf "$out_dir/_windows"
mkdir -p "$stage/licenses"
# Only the SDK's own loader ships, never a stand-in a test put somewhere.
sdk_dir=$(sed -n 's/^VORPEL_WEBVIEW2_SDK_DIR:PATH=//p' "$windows/CMakeCache.txt" 2>/dev/null)
sdk_loader="$sdk_dir/build/native/x64/WebView2Loader.dll"
if [ -n "$sdk_dir" ] && ! cmp -s "$sdk_loader" "$windows/WebView2Loader.dll"; then
  echo "package: $windows/WebView2Loader.dll is not the SDK's $sdk_loader" >&2
  exit 1
fi
cp "$windows/vorpel_inspector.exe" "$windows/WebView2Loader.dll" "$stage/"

cp inspector/frontend/node_modules/chii/LICENSE "$stage/licenses/chii-LICENSE.txt"
frontend=inspector/frontend/node_modules/chii/public/front_end
find "$frontend" -type f \( -iname 'LICENSE*' -o -iname 'COPYING*' \) -print0 |
  while IFS= read -r -d '' license; do
    relative=${license#inspector/frontend/node_modules/}
    cp "$license" "$stage/licenses/${relative//\//-}.txt"
  done
cp /usr/share/doc/nlohmann-json3-dev/copyright "$stage/licenses/nlohmann-json.txt"
# The loader DLL is redistributed under the WebView2 SDK's licence.
sdk_license=$(find "$windows/_sdk/packages" -path '*microsoft.web.webview2*' -name LICENSE.txt 2>/dev/null | head -n 1)
[ -z "$sdk_license" ] || cp "$sdk_license" "$stage/licenses/WebView2-SDK-LICENSE.txt"
# The exe links MinGW-w64's runtime (winpthreads) statically.
mingw_copyright=/usr/share/doc/mingw-w64-x86-64-dev/copyright
[ ! -f "$mingw_copyright" ] || cp "$mingw_copyright" "$stage/licenses/mingw-w64.txt"

rm -f "$out_dir/$name.zip"
(cd "$out_dir/_windows" && cmake -E tar cf "../$name.zip" --format=zip "$name")
rm -rf "$out_dir/_windows"
echo "package: $out_dir/$name.zip"
