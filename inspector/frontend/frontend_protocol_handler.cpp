#include "frontend_protocol_handler.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "frontend_assets.h"

namespace {

struct ContentType {
  std::string_view extension;
  std::string_view type;
};

// Grouped by extension length; the first equal name of that length wins.
constexpr std::array kContentTypes{
    ContentType{"js", "text/javascript; charset=utf-8"},
    ContentType{"md", "text/markdown; charset=utf-8"},
    ContentType{"mjs", "text/javascript; charset=utf-8"},
    ContentType{"css", "text/css; charset=utf-8"},
    ContentType{"svg", "image/svg+xml"},
    ContentType{"png", "image/png"},
    ContentType{"html", "text/html; charset=utf-8"},
    ContentType{"json", "application/json; charset=utf-8"},
    ContentType{"avif", "image/avif"},
    ContentType{"wasm", "application/wasm"},
    ContentType{"woff2", "font/woff2"},
};
constexpr std::string_view kDefaultContentType = "application/octet-stream";
constexpr std::string_view kNotFoundContentType = "text/plain; charset=utf-8";
constexpr std::string_view kNotFoundBody = "Not Found";

// Index into kContentTypes, or kContentTypes.size() for the default.
constexpr std::size_t content_type_index(std::string_view path) {
  const std::size_t dot = path.rfind('.');
  const std::string_view extension = dot == std::string_view::npos ? path : path.substr(dot + 1);
  if (extension.size() < 2 || extension.size() > 5) return kContentTypes.size();
  for (std::size_t i = 0; i < kContentTypes.size(); ++i) {
    if (kContentTypes[i].extension == extension) return i;
  }
  return kContentTypes.size();
}

// One constant single-header list per content type, so a response allocates nothing.
constexpr std::array<ProtocolHeader, kContentTypes.size() + 2> make_headers() {
  std::array<ProtocolHeader, kContentTypes.size() + 2> headers{};
  for (std::size_t i = 0; i < kContentTypes.size(); ++i) {
    headers[i] = {"content-type", kContentTypes[i].type};
  }
  headers[kContentTypes.size()] = {"content-type", kDefaultContentType};
  headers[kContentTypes.size() + 1] = {"content-type", kNotFoundContentType};
  return headers;
}
constexpr std::array kHeaders = make_headers();
constexpr std::size_t kNotFoundHeader = kContentTypes.size() + 1;

// Visible ASCII and inner spaces or tabs only: what an HTTP field value may hold.
constexpr bool valid_header_value(std::string_view value) {
  if (value.empty() || value.front() == ' ' || value.back() == ' ') return false;
  for (char c : value) {
    if (c != ' ' && c != '\t' && (c < 0x21 || c > 0x7e)) return false;
  }
  return true;
}
constexpr bool all_headers_valid() {
  for (const ProtocolHeader& header : kHeaders) {
    if (!valid_header_value(header.name) || !valid_header_value(header.value)) return false;
  }
  return true;
}
static_assert(all_headers_valid(), "static content-type header is valid");
static_assert(kNotFoundBody.size() == 9, "static 404 response is valid");

}  // namespace

ProtocolUri parse_protocol_uri(std::string_view uri) {
  ProtocolUri parts;
  if (const std::size_t hash = uri.find('#'); hash != std::string_view::npos) {
    uri = uri.substr(0, hash);
  }
  if (const std::size_t question = uri.find('?'); question != std::string_view::npos) {
    parts.query = uri.substr(question + 1);
    uri = uri.substr(0, question);
  }
  if (const std::size_t colon = uri.find(':');
      colon != std::string_view::npos && uri.find('/') > colon) {
    parts.scheme = uri.substr(0, colon);
    uri = uri.substr(colon + 1);
    if (uri.starts_with("//")) {
      uri = uri.substr(2);
      const std::size_t slash = uri.find('/');
      parts.authority = uri.substr(0, slash);
      uri = slash == std::string_view::npos ? std::string_view() : uri.substr(slash);
    }
  }
  parts.path = uri;
  return parts;
}

std::string_view frontend_content_type(std::string_view path) {
  return kHeaders[content_type_index(path)].value;
}

ProtocolResponse FrontendProtocolHandler(std::string_view /*webview_id*/, ProtocolRequest request) {
  std::string_view path = request.uri.path;
  path.remove_prefix(std::min(path.find_first_not_of('/'), path.size()));
  if (path.empty()) path = "js_app.html";

  const std::optional<FrontendAsset> asset = FrontendAssetTable::lookup(path);
  if (!asset) {
    return {404, std::span(&kHeaders[kNotFoundHeader], 1), kNotFoundBody};
  }
  return {200, std::span(&kHeaders[content_type_index(path)], 1), asset->contents};
}
