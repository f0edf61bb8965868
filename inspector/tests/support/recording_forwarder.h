// Passes bytes both ways between a client and an engine's inspector at
// 127.0.0.1:port, and keeps what the engine sent: its protocol replies are
// unmasked WebSocket text.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "support/loopback_server.h"

class RecordingForwarder {
 public:
  explicit RecordingForwarder(uint16_t port);
  std::string address() const { return server_.address(); }
  // Waits until `accept` holds for what the engine sent so far.
  bool wait_for(const std::function<bool(const std::string&)>& accept,
                std::chrono::milliseconds timeout);
  bool wait_for_reply(const std::string& text, std::chrono::milliseconds timeout) {
    return wait_for(
        [&](const std::string& replies) { return replies.find(text) != std::string::npos; },
        timeout);
  }

 private:
  void forward(int client, uint16_t port);

  std::mutex mutex_;
  std::string replies_;
  LoopbackServer server_;
};
