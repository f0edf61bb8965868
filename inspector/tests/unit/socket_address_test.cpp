#include "socket_address.h"

#include <gtest/gtest.h>

namespace {

SocketAddress v4(uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint16_t port) {
  SocketAddress address;
  address.ip[0] = a, address.ip[1] = b, address.ip[2] = c, address.ip[3] = d;
  address.port = port;
  return address;
}

SocketAddress v6(std::array<uint16_t, 8> groups, uint16_t port, uint32_t scope = 0) {
  SocketAddress address;
  address.family = SocketAddress::Family::kIPv6;
  for (int i = 0; i < 8; ++i) {
    address.ip[2 * i] = static_cast<uint8_t>(groups[i] >> 8);
    address.ip[2 * i + 1] = static_cast<uint8_t>(groups[i]);
  }
  address.port = port;
  address.scope_id = scope;
  return address;
}

TEST(SocketAddressTest, NumericForms) {
  const std::pair<const char*, std::optional<SocketAddress>> cases[] = {
      {"127.0.0.1:9229", v4(127, 0, 0, 1, 9229)},
      {"0.0.0.0:0", v4(0, 0, 0, 0, 0)},
      {"255.255.255.255:65535", v4(255, 255, 255, 255, 65535)},
      {"127.0.0.1:09229", v4(127, 0, 0, 1, 9229)},
      {"[::1]:9229", v6({0, 0, 0, 0, 0, 0, 0, 1}, 9229)},
      {"[::]:1", v6({}, 1)},
      {"[fe80::1%2]:80", v6({0xfe80, 0, 0, 0, 0, 0, 0, 1}, 80, 2)},
      {"[1:2:3:4:5:6:7:8]:1", v6({1, 2, 3, 4, 5, 6, 7, 8}, 1)},
      {"[1::8]:1", v6({1, 0, 0, 0, 0, 0, 0, 8}, 1)},
      {"[1:2:3:4:5:6:7::]:1", v6({1, 2, 3, 4, 5, 6, 7, 0}, 1)},
      {"[::ffff:127.0.0.1]:5", v6({0, 0, 0, 0, 0, 0xffff, 0x7f00, 1}, 5)},
      {"[ABCD::]:5", v6({0xabcd, 0, 0, 0, 0, 0, 0, 0}, 5)},
      // Not numeric: these go to the resolver or fail there.
      {"localhost:9229", std::nullopt},
      {"127.0.0.1", std::nullopt},
      {"127.0.0.1:", std::nullopt},
      {"127.0.0.1:65536", std::nullopt},
      {"127.0.0.1:+1", std::nullopt},
      {"127.0.0.256:1", std::nullopt},
      {"127.0.0:1", std::nullopt},
      {"127.0.0.1.1:1", std::nullopt},
      {"01.0.0.1:1", std::nullopt},
      {"::1:9229", std::nullopt},
      {"[::1]", std::nullopt},
      {"[::1]9229", std::nullopt},
      {"[1::2::3]:1", std::nullopt},
      {"[1:2:3:4:5:6:7:8:9]:1", std::nullopt},
      {"[12345::]:1", std::nullopt},
      {"[fe80::1%]:80", std::nullopt},
      {"[fe80::1%eth0]:80", std::nullopt},
      {"[:1]:1", std::nullopt},
      {"[1:]:1", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(parse_numeric_socket_address(text), expected) << text;
  }
}

TEST(SocketAddressTest, InspectorAddressRules) {
  struct Case {
    const char* text;
    std::optional<ConnectTarget> target;
    const char* error;
  };
  const Case cases[] = {
      {"127.0.0.1:9229", ConnectTarget(v4(127, 0, 0, 1, 9229)), nullptr},
      {"localhost:9229", ConnectTarget(HostAndPort{"localhost", 9229}), nullptr},
      {"localhost:+9229", ConnectTarget(HostAndPort{"localhost", 9229}), nullptr},
      {"127.0.0.1:+80", ConnectTarget(HostAndPort{"127.0.0.1", 80}), nullptr},
      {"::1:9229", ConnectTarget(HostAndPort{"::1", 9229}), nullptr},
      {":80", ConnectTarget(HostAndPort{"", 80}), nullptr},
      {"a:b:0", ConnectTarget(HostAndPort{"a:b", 0}), nullptr},
      {"localhost", std::nullopt, "invalid socket address"},
      {"", std::nullopt, "invalid socket address"},
      {"-v", std::nullopt, "invalid socket address"},
      {"localhost:", std::nullopt, "invalid port value"},
      {"localhost:65536", std::nullopt, "invalid port value"},
      {"localhost:++1", std::nullopt, "invalid port value"},
      {"localhost:-1", std::nullopt, "invalid port value"},
      {"localhost: 1", std::nullopt, "invalid port value"},
      {"[::1]:x", std::nullopt, "invalid port value"},
  };
  for (const Case& c : cases) {
    auto result = parse_inspector_address(c.text);
    if (c.target) {
      ASSERT_TRUE(result.ok()) << c.text;
      EXPECT_EQ(result.value(), *c.target) << c.text;
    } else {
      ASSERT_FALSE(result.ok()) << c.text;
      EXPECT_EQ(result.error().messages(), std::vector<std::string>{c.error}) << c.text;
    }
  }
}

}  // namespace
