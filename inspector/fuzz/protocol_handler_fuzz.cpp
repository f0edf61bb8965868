// Any request address or path: exactly the table record for its key, or the 404.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "frontend_assets_test_support.h"
#include "frontend_protocol_handler.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

const std::map<std::string_view, const FrontendAsset*>& records_by_path() {
  static const auto* records = [] {
    auto* map = new std::map<std::string_view, const FrontendAsset*>;
    for (const FrontendAsset& asset : frontend_asset_records()) map->emplace(asset.path, &asset);
    return map;
  }();
  return *records;
}

// What a request for `path` may be answered with, worked out independently of the handler.
void check(const ProtocolResponse& response, std::string_view path) {
  std::string key(path.substr(std::min(path.find_first_not_of('/'), path.size())));
  if (key.empty()) key = "js_app.html";
  std::replace(key.begin(), key.end(), '\\', '/');

  require(response.headers.size() == 1 && response.headers[0].name == "content-type");
  const auto hit = records_by_path().find(key);
  if (hit == records_by_path().end()) {
    require(response.status == 404 && response.body == "Not Found");
    require(response.headers[0].value == "text/plain; charset=utf-8");
    return;
  }
  // The table's own bytes, never a copy and never anything else.
  require(response.status == 200);
  require(response.body.data() == hit->second->contents.data());
  require(response.body.size() == hit->second->contents.size());
  require(response.headers[0].value == frontend_content_type(key));
}

ProtocolRequest request_for(ProtocolUri uri) {
  ProtocolRequest request;
  request.method = "GET";
  request.uri = std::move(uri);
  return request;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  // As a whole address the web view reports.
  ProtocolUri uri = parse_protocol_uri(input);
  require(uri.path.size() <= input.size());
  const std::string path = uri.path;
  check(FrontendProtocolHandler("", request_for(std::move(uri))), path);

  // As the path itself, whatever bytes it holds.
  ProtocolUri raw;
  raw.path = std::string(input);
  check(FrontendProtocolHandler("", request_for(std::move(raw))), input);
  return 0;
}
