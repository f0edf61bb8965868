// An inspector on a loopback port of its own in front of a real one: it lists
// the real target under another path, and passes a WebSocket handshake for
// that path on to the real target's own.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "support/loopback_server.h"

class RenamingInspector {
 public:
  // `engine_target`: "127.0.0.1:PORT/PATH"; `listed_path` starts with "/"
  // and holds neither '"' nor '\'.
  RenamingInspector(const std::string& engine_target, std::string listed_path);
  ~RenamingInspector();

  std::string address() const { return server_.address(); }
  // The request target of every handshake received, as it came.
  std::vector<std::string> handshakes() const;

 private:
  void serve(int client);
  void forward(int client, const std::string& head, const std::string& request_target);

  std::string engine_host_;
  uint16_t engine_port_;
  std::string engine_path_;
  std::string listed_path_;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> handshakes_;
  LoopbackServer server_;  // last: its workers end before the rest goes
};
