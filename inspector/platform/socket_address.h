// Parsing of the inspector address the user typed: "host:port".
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "error_chain.h"

struct SocketAddress {
  enum class Family { kIPv4, kIPv6 };
  Family family = Family::kIPv4;
  std::array<uint8_t, 16> ip{};  // IPv4 uses the first four bytes
  uint16_t port = 0;
  uint32_t scope_id = 0;  // IPv6 only

  bool operator==(const SocketAddress&) const = default;
};

// "a.b.c.d:port", "[v6]:port" or "[v6%scope]:port"; nothing else.
std::optional<SocketAddress> parse_numeric_socket_address(std::string_view text);

// A name for the resolver and the port that goes with every address it returns.
struct HostAndPort {
  std::string host;
  uint16_t port = 0;
  bool operator==(const HostAndPort&) const = default;
};

// What an attempt connects to: one numeric address, or a name to resolve.
using ConnectTarget = std::variant<SocketAddress, HostAndPort>;

// Fails with "invalid socket address" or "invalid port value".
Result<ConnectTarget> parse_inspector_address(std::string_view text);

// The port rule of the address: decimal 0-65535 with one optional leading "+".
std::optional<uint16_t> parse_port(std::string_view text);
