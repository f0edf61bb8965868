#include "resource_url.h"

#include <algorithm>
#include <optional>

#include "ascii_case.h"

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = ascii_lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Nothing when an escape is malformed or decodes to NUL, which no path holds.
std::optional<std::string> percent_decode(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = hex_value(text[i + 1]);
    const int low = hex_value(text[i + 2]);
    if (high < 0 || low < 0 || (high == 0 && low == 0)) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

std::string_view without_query_and_fragment(std::string_view text) {
  return text.substr(0, text.find_first_of("?#"));
}

bool is_drive_path(std::string_view path) {
  return path.size() >= 4 && path[0] == '/' &&
         ((path[1] | 0x20) >= 'a' && (path[1] | 0x20) <= 'z') && path[2] == ':' && path[3] == '/';
}

ResourceUrl classify_file(std::string_view rest) {
  // rest: after "file:"; only "file:///path" and "file://localhost/path".
  if (!rest.starts_with("//")) return RefusedUrl{"not an absolute file URL"};
  rest.remove_prefix(2);
  const size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return RefusedUrl{"not an absolute file URL"};
  const std::string_view host = rest.substr(0, slash);
  if (!host.empty() && !equals_ignoring_ascii_case(host, "localhost")) {
    return RefusedUrl{"a file on another host"};
  }
  auto path = percent_decode(without_query_and_fragment(rest.substr(slash)));
  if (!path) return RefusedUrl{"a malformed file URL"};
  if (is_drive_path(*path)) path->erase(0, 1);
  return LocalFile{*path};
}

std::optional<SocketAddress> loopback_address(std::string_view host, uint16_t port) {
  // Names other than localhost would need the resolver, which may say anything.
  if (equals_ignoring_ascii_case(host, "localhost")) host = "127.0.0.1";
  const std::string text = std::string(host) + ":" + std::to_string(port);
  auto address = parse_numeric_socket_address(text);
  if (!address) return std::nullopt;
  if (address->family == SocketAddress::Family::kIPv4 && address->ip[0] == 127) return address;
  if (address->family == SocketAddress::Family::kIPv6) {
    static constexpr uint8_t kLoopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    if (std::equal(address->ip.begin(), address->ip.end(), kLoopback)) return address;
  }
  return std::nullopt;
}

ResourceUrl classify_http(std::string_view rest) {
  if (!rest.starts_with("//")) return RefusedUrl{"a malformed address"};
  rest.remove_prefix(2);
  const size_t end = rest.find_first_of("/?#");
  const std::string_view authority = rest.substr(0, end);
  std::string target(end == std::string_view::npos ? "/" : rest.substr(end));
  target = std::string(target.substr(0, target.find('#')));
  if (target.empty() || target[0] != '/') target = "/" + target;
  if (authority.find('@') != std::string_view::npos) return RefusedUrl{"an address with a user"};
  std::string_view host = authority;
  uint16_t port = 80;
  const size_t colon = authority.rfind(':');
  const size_t bracket = authority.rfind(']');
  if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
    host = authority.substr(0, colon);
    auto parsed = parse_port(authority.substr(colon + 1));
    if (!parsed || authority.substr(colon + 1).empty()) return RefusedUrl{"a malformed port"};
    port = *parsed;
  }
  auto address = loopback_address(host, port);
  if (!address) return RefusedUrl{"not a loopback address"};
  for (char c : target) {
    // The target goes into the request line as written.
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) return RefusedUrl{"a malformed path"};
  }
  return LoopbackResource{*address, std::string(authority), target};
}

}  // namespace

ResourceUrl classify_resource_url(std::string_view url) {
  const size_t colon = url.find(':');
  if (colon == std::string_view::npos) return RefusedUrl{"not an absolute URL"};
  const std::string scheme = ascii_lowercase(url.substr(0, colon));
  const std::string_view rest = url.substr(colon + 1);
  // wrangler dev names its files so for frontends it takes for browsers.
  if (scheme == "file" || scheme == "wrangler-file") return classify_file(rest);
  if (scheme == "http") return classify_http(rest);
  if (scheme == "https") return RefusedUrl{"https is not supported; use http for a local server"};
  return RefusedUrl{"only file and loopback http URLs are loaded"};
}
