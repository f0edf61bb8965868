// The program's GET of a loopback server's resource, against real sockets.
#include "loopback_fetch.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/loopback_server.h"

namespace {

using namespace std::chrono_literals;

// The server listens a moment after it is made: refused attempts are retried,
// and `took` is the time of the last one.
Result<FetchedResource> fetch_from(const LoopbackServer& server, const std::string& target,
                                   const FetchLimits& limits,
                                   std::chrono::steady_clock::duration* took = nullptr) {
  const auto resource =
      std::get<LoopbackResource>(classify_resource_url("http://" + server.address() + target));
  for (int attempt = 0;; ++attempt) {
    const auto start = std::chrono::steady_clock::now();
    auto fetched = fetch_loopback(resource, limits);
    if (took != nullptr) *took = std::chrono::steady_clock::now() - start;
    if (fetched || attempt == 100 ||
        fetched.error().messages().back().find("refused") == std::string::npos) {
      return fetched;
    }
    std::this_thread::sleep_for(20ms);
  }
}

TEST(LoopbackFetchTest, ResponsesAndLimits) {
  struct Case {
    std::string response;
    std::chrono::milliseconds delay;
    // The status and body, or the error's message.
    int status;
    std::string body_or_error;
  };
  const Case cases[] = {
      {"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello and more", 0ms, 200, "hello"},
      {"HTTP/1.1 200 OK\r\n\r\nto the end", 0ms, 200, "to the end"},
      {"HTTP/1.1 404 Not Found\r\nContent-Length: 2\r\n\r\nno", 0ms, 404, "no"},
      {"HTTP/1.1 200 OK\r\ntransfer-encoding: gzip, chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n", 0ms, 0,
       "the server sent a chunked body"},
      {"HTTP/1.1 200 OK\r\n\r\n" + std::string(101, 'x'), 0ms, 0,
       "the resource is larger than the limit"},
      {"HTTP/1.1 200 OK\r\nContent-Length: 101\r\n\r\n" + std::string(101, 'x'), 0ms, 0,
       "the resource is larger than the limit"},
      {"garbage", 0ms, 0, "the server's response has no end of head"},
      {"HTTP/1.1 abc\r\n\r\n", 0ms, 0, "the server's response has no status code"},
      {"HTTP/1.0 200 OK\r\n\r\nlate", 1500ms, 0, "the server took too long"},
  };
  for (const Case& c : cases) {
    LoopbackServer server([&](int fd) {
      LoopbackServer::read_request(fd);
      std::this_thread::sleep_for(c.delay);
      LoopbackServer::send_text(fd, c.response);
    });
    std::chrono::steady_clock::duration took{};
    auto fetched = fetch_from(server, "/app.js.map?v=1", FetchLimits{100, 400ms}, &took);
    EXPECT_LT(took, 1200ms) << c.response;
    if (c.status != 0) {
      ASSERT_TRUE(fetched.ok()) << c.response << fetched.error().report();
      EXPECT_EQ(fetched.value().status, c.status);
      EXPECT_EQ(fetched.value().body, c.body_or_error);
    } else {
      ASSERT_FALSE(fetched.ok()) << c.response;
      EXPECT_EQ(fetched.error().messages().back(), c.body_or_error) << c.response;
    }
  }
}

// Each receive brings a byte in time, but the whole response does not come.
TEST(LoopbackFetchTest, TheWholeResponseMustComeInTime) {
  LoopbackServer server([](int fd) {
    LoopbackServer::read_request(fd);
    for (char c : std::string("HTTP/1.0 200 OK\r\n\r\nslowly")) {
      LoopbackServer::send_text(fd, std::string(1, c));
      std::this_thread::sleep_for(50ms);
    }
  });
  std::chrono::steady_clock::duration took{};
  auto fetched = fetch_from(server, "/slow.map", FetchLimits{100, 400ms}, &took);
  ASSERT_FALSE(fetched.ok());
  EXPECT_EQ(fetched.error().messages().back(), "the server took too long");
  EXPECT_LT(took, 800ms);
}

TEST(LoopbackFetchTest, RequestIsPlainHttp10) {
  std::string request;
  LoopbackServer server([&](int fd) {
    request = LoopbackServer::read_request(fd);
    LoopbackServer::send_text(fd, "HTTP/1.0 200 OK\r\n\r\n");
  });
  auto fetched = fetch_from(server, "/a%20b.map?x=1#frag", FetchLimits{10, 2s});
  ASSERT_TRUE(fetched.ok()) << fetched.error().report();
  EXPECT_EQ(request, "GET /a%20b.map?x=1 HTTP/1.0\r\nHost: " + server.address() +
                         "\r\nAccept: */*\r\nConnection: close\r\n\r\n");
}

}  // namespace
