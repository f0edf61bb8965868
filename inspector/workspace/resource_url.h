// What a URL the frontend asks its host to load may be: a local file, a
// loopback web server's resource, or anything else (refused).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "socket_address.h"

struct LocalFile {
  std::string path;  // percent-decoded; "/C:/x" becomes "C:/x"
  bool operator==(const LocalFile&) const = default;
};

struct LoopbackResource {
  SocketAddress address;
  std::string host;    // as written, for the Host field
  std::string target;  // path and query, as written
  bool operator==(const LoopbackResource&) const = default;
};

struct RefusedUrl {
  std::string reason;
  bool operator==(const RefusedUrl&) const = default;
};

using ResourceUrl = std::variant<LocalFile, LoopbackResource, RefusedUrl>;

ResourceUrl classify_resource_url(std::string_view url);
