// Answers the web view's requests under the frontend scheme from the embedded table.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct ProtocolUri {
  std::string scheme;
  std::string authority;
  std::string path;
  std::string query;
};

// Splits "scheme://authority/path?query" (a fragment, if any, is dropped).
ProtocolUri parse_protocol_uri(std::string_view uri);

struct ProtocolRequest {
  std::string method;
  ProtocolUri uri;
  std::vector<std::pair<std::string, std::string>> headers;
  std::vector<uint8_t> body;
};

struct ProtocolHeader {
  std::string_view name;
  std::string_view value;
};

// Every view points into read-only data that lives as long as the program.
struct ProtocolResponse {
  uint16_t status = 0;
  std::span<const ProtocolHeader> headers;
  std::string_view body;
};

// Only the path is read; the request is released before returning.
ProtocolResponse FrontendProtocolHandler(std::string_view webview_id, ProtocolRequest request);

// The content type for a path's extension (the text after its last ".").
std::string_view frontend_content_type(std::string_view path);
