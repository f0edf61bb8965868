// --follow's idle connection against real sockets: what ends a wait early.
#include "inspector_watch.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/loopback_server.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The server listens from its own thread; the watch must find it listening.
void wait_until_listening(const LoopbackServer& server) {
  for (int attempt = 0; attempt < 200 && server.connections() == 0; ++attempt) {
    InspectorWatch probe(server.address());
    probe.wait(1ms);
    std::this_thread::sleep_for(5ms);
  }
  ASSERT_GT(server.connections(), 0);
}

TEST(InspectorWatchTest, WhatEndsAWait) {
  struct Case {
    const char* name;
    LoopbackServer::Handler handler;
    std::chrono::milliseconds timeout;
    bool quiet;
  };
  const Case cases[] = {
      {"an inspector that keeps the connection", [](int) { std::this_thread::sleep_for(1500ms); },
       300ms, true},
      {"an inspector that ends", [](int) { std::this_thread::sleep_for(100ms); }, 3000ms, false},
      {"an inspector that sends something",
       [](int fd) {
         LoopbackServer::send_text(fd, "HTTP/1.1 408 Request Timeout\r\n\r\n");
         std::this_thread::sleep_for(1500ms);
       },
       3000ms, false},
  };
  for (const Case& c : cases) {
    LoopbackServer server(c.handler);
    wait_until_listening(server);
    InspectorWatch watch(server.address());
    const auto start = Clock::now();
    const bool quiet = watch.wait(c.timeout);
    const auto took = Clock::now() - start;
    EXPECT_EQ(quiet, c.quiet) << c.name;
    if (c.quiet) {
      EXPECT_GE(took, c.timeout - 50ms) << c.name;
    } else {
      EXPECT_LT(took, c.timeout / 2) << c.name;
    }
  }
}

TEST(InspectorWatchTest, AnUnreachableInspectorEndsTheWaitAtOnce) {
  // Bound but not listening for a minute: connections are refused.
  LoopbackServer server([](int) {}, false, 60s);
  InspectorWatch watch(server.address());
  const auto start = Clock::now();
  EXPECT_FALSE(watch.wait(3000ms));
  EXPECT_LT(Clock::now() - start, 1500ms);
}

TEST(InspectorWatchTest, AnInspectorThatClosesAtOnceIsNotConnectedToInALoop) {
  LoopbackServer server([](int) {});
  wait_until_listening(server);
  const int before = server.connections();
  InspectorWatch watch(server.address());
  const auto start = Clock::now();
  for (int i = 0; i < 6; ++i) watch.wait(100ms);
  // At most one connection per wait's length: the waits that find the last
  // connection too young are plain pauses.
  EXPECT_GE(Clock::now() - start, 250ms);
  EXPECT_LE(server.connections() - before, 4);
}

}  // namespace
