// Conversion between SocketAddress and the socket API's sockaddr forms, shared
// by the POSIX and Winsock layers (both have the same BSD structures). Include
// it after the platform's socket headers.
#pragma once

#include <cstring>
#include <optional>

#include "socket_address.h"

namespace net {

// nullopt for families other than IPv4 and IPv6.
inline std::optional<SocketAddress> socket_address_from_native(const sockaddr* native,
                                                               uint16_t port) {
  SocketAddress address;
  address.port = port;
  if (native->sa_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(native);
    std::memcpy(address.ip.data(), &in->sin_addr, 4);
  } else if (native->sa_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(native);
    address.family = SocketAddress::Family::kIPv6;
    std::memcpy(address.ip.data(), &in6->sin6_addr, 16);
    address.scope_id = in6->sin6_scope_id;
  } else {
    return std::nullopt;
  }
  return address;
}

// Fills `storage`; returns the length of the filled form.
inline int socket_address_to_native(const SocketAddress& address, sockaddr_storage& storage) {
  storage = {};
  if (address.family == SocketAddress::Family::kIPv4) {
    auto* in = reinterpret_cast<sockaddr_in*>(&storage);
    in->sin_family = AF_INET;
    in->sin_port = htons(address.port);
    std::memcpy(&in->sin_addr, address.ip.data(), 4);
    return sizeof(sockaddr_in);
  }
  auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
  in6->sin6_family = AF_INET6;
  in6->sin6_port = htons(address.port);
  std::memcpy(&in6->sin6_addr, address.ip.data(), 16);
  in6->sin6_scope_id = address.scope_id;
  return sizeof(sockaddr_in6);
}

}  // namespace net
