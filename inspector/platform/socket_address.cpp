#include "socket_address.h"

namespace {

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Digits only, no sign, any number of leading zeros, value <= max.
std::optional<uint32_t> parse_decimal(std::string_view text, uint32_t max) {
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (!is_digit(c)) return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > max) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

// Dotted decimal, four octets, no leading zeros.
bool parse_ipv4(std::string_view text, uint8_t* out) {
  for (int i = 0; i < 4; ++i) {
    size_t dot = text.find('.');
    std::string_view part = i < 3 ? text.substr(0, dot) : text;
    if (i < 3 && dot == std::string_view::npos) return false;
    if (part.empty() || part.size() > 3) return false;
    if (part.size() > 1 && part[0] == '0') return false;
    auto value = parse_decimal(part, 255);
    if (!value) return false;
    out[i] = static_cast<uint8_t>(*value);
    if (i < 3) text.remove_prefix(dot + 1);
  }
  return true;
}

// Up to eight groups of 1-4 hex digits, one "::", an optional dotted IPv4 tail.
bool parse_ipv6(std::string_view text, uint8_t* out) {
  uint16_t groups[8] = {};
  int count = 0;
  int gap = -1;  // index where "::" stands
  if (text.starts_with("::")) {
    gap = 0;
    text.remove_prefix(2);
  }
  while (!text.empty()) {
    if (count == 8) return false;
    // A dotted IPv4 tail takes the last two groups.
    size_t colon = text.find(':');
    std::string_view part = text.substr(0, colon);
    if (colon == std::string_view::npos && part.find('.') != std::string_view::npos) {
      if (count > 6) return false;
      uint8_t v4[4];
      if (!parse_ipv4(part, v4)) return false;
      groups[count++] = static_cast<uint16_t>(v4[0] << 8 | v4[1]);
      groups[count++] = static_cast<uint16_t>(v4[2] << 8 | v4[3]);
      text = {};
      break;
    }
    if (part.empty() || part.size() > 4) return false;
    uint32_t value = 0;
    for (char c : part) {
      int h = hex_value(c);
      if (h < 0) return false;
      value = value * 16 + static_cast<uint32_t>(h);
    }
    groups[count++] = static_cast<uint16_t>(value);
    if (colon == std::string_view::npos) {
      text = {};
      break;
    }
    text.remove_prefix(colon + 1);
    if (text.starts_with(":")) {
      if (gap >= 0) return false;
      gap = count;
      text.remove_prefix(1);
    } else if (text.empty()) {
      return false;  // trailing single ":"
    }
  }
  if (gap < 0) {
    if (count != 8) return false;
  } else {
    if (count > 7) return false;
    int missing = 8 - count;
    for (int i = count - 1; i >= gap; --i) groups[i + missing] = groups[i];
    for (int i = gap; i < gap + missing; ++i) groups[i] = 0;
  }
  for (int i = 0; i < 8; ++i) {
    out[2 * i] = static_cast<uint8_t>(groups[i] >> 8);
    out[2 * i + 1] = static_cast<uint8_t>(groups[i] & 0xFF);
  }
  return true;
}

}  // namespace

std::optional<SocketAddress> parse_numeric_socket_address(std::string_view text) {
  SocketAddress address;
  if (text.starts_with("[")) {
    size_t close = text.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view inside = text.substr(1, close - 1);
    std::string_view rest = text.substr(close + 1);
    if (!rest.starts_with(":")) return std::nullopt;
    size_t percent = inside.find('%');
    if (percent != std::string_view::npos) {
      auto scope = parse_decimal(inside.substr(percent + 1), UINT32_MAX);
      if (!scope) return std::nullopt;
      address.scope_id = *scope;
      inside = inside.substr(0, percent);
    }
    if (!parse_ipv6(inside, address.ip.data())) return std::nullopt;
    auto port = parse_decimal(rest.substr(1), 65535);
    if (!port) return std::nullopt;
    address.family = SocketAddress::Family::kIPv6;
    address.port = static_cast<uint16_t>(*port);
    return address;
  }
  size_t colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  if (!parse_ipv4(text.substr(0, colon), address.ip.data())) return std::nullopt;
  auto port = parse_decimal(text.substr(colon + 1), 65535);
  if (!port) return std::nullopt;
  address.port = static_cast<uint16_t>(*port);
  return address;
}

std::optional<uint16_t> parse_port(std::string_view text) {
  if (text.starts_with("+")) text.remove_prefix(1);
  auto value = parse_decimal(text, 65535);
  if (!value) return std::nullopt;
  return static_cast<uint16_t>(*value);
}

Result<ConnectTarget> parse_inspector_address(std::string_view text) {
  if (auto numeric = parse_numeric_socket_address(text)) return ConnectTarget(*numeric);
  size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return ErrorChain::from_message("invalid socket address");
  auto port = parse_port(text.substr(colon + 1));
  if (!port) return ErrorChain::from_message("invalid port value");
  return ConnectTarget(HostAndPort{std::string(text.substr(0, colon)), *port});
}
