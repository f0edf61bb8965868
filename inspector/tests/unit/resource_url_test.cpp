#include "resource_url.h"

#include <gtest/gtest.h>

namespace {

TEST(ResourceUrlTest, Kinds) {
  struct Case {
    const char* url;
    // A file's path, "http HOST-ADDRESS:PORT TARGET", or "refused".
    std::string expected;
  };
  const Case cases[] = {
      {"file:///w/app.js.map", "/w/app.js.map"},
      {"FILE:///w/a", "/w/a"},
      {"file://localhost/w/a", "/w/a"},
      {"file:///w/%E2%80%94.ts", "/w/\xE2\x80\x94.ts"},
      // Decoded before the path is resolved, so escapes cannot hide a step out.
      {"file:///w/%2e%2e/etc/passwd", "/w/../etc/passwd"},
      {"file:///w/..%2F..%2Fetc", "/w/../../etc"},
      {"file:///w/a.map?x=1#y", "/w/a.map"},
      {"file:///C:/w/a.map", "C:/w/a.map"},
      {"wrangler-file:///w/.wrangler/tmp/dev-1/index.js.map",
       "/w/.wrangler/tmp/dev-1/index.js.map"},
      {"wrangler-file://elsewhere/w/a.map", "refused"},
      {"file:///w/a%00.map", "refused"},
      {"file:///w/a%2", "refused"},
      {"file:///w/a%zz", "refused"},
      {"file://server/share/a", "refused"},
      {"file:/w/a", "refused"},
      {"file://", "refused"},
      {"http://localhost:8080/app.js.map", "http 127.0.0.1:8080 /app.js.map"},
      {"http://LOCALHOST/a", "http 127.0.0.1:80 /a"},
      {"http://127.0.0.2:1/a?b=c#d", "http 127.0.0.2:1 /a?b=c"},
      {"http://[::1]:3000", "http [::1]:3000 /"},
      {"http://127.0.0.1:8080?x", "http 127.0.0.1:8080 /?x"},
      {"http://example.com/a", "refused"},
      {"http://10.0.0.1/a", "refused"},
      {"http://128.0.0.1/a", "refused"},
      {"http://localhost.example.com/a", "refused"},
      {"http://user@localhost/a", "refused"},
      {"http://localhost:99999/a", "refused"},
      {"http://localhost:/a", "refused"},
      {"http://127.0.0.1/a b", "refused"},
      {"http://[::2]/a", "refused"},
      {"https://localhost:8443/a.map", "refused"},
      {"data:application/json;base64,e30=", "refused"},
      {"devtools://devtools/x", "refused"},
      {"", "refused"},
      {"app.js.map", "refused"},
  };
  for (const Case& c : cases) {
    ResourceUrl kind = classify_resource_url(c.url);
    std::string got = "refused";
    if (auto* file = std::get_if<LocalFile>(&kind)) got = file->path;
    if (auto* loopback = std::get_if<LoopbackResource>(&kind)) {
      const SocketAddress& a = loopback->address;
      std::string host = a.family == SocketAddress::Family::kIPv4
                             ? std::to_string(a.ip[0]) + "." + std::to_string(a.ip[1]) + "." +
                                   std::to_string(a.ip[2]) + "." + std::to_string(a.ip[3])
                             : "[::1]";
      got = "http " + host + ":" + std::to_string(a.port) + " " + loopback->target;
    }
    EXPECT_EQ(got, c.expected) << c.url;
  }
}

}  // namespace
