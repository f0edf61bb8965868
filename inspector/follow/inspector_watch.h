// --follow's early warning: an idle connection to the inspector, which ends
// the moment the inspected program does.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "net.h"

class InspectorWatch {
 public:
  explicit InspectorWatch(std::string address) : address_(std::move(address)) {}

  // Waits up to `timeout`: true when nothing happened, false as soon as the
  // inspector closed the connection (or sent on it) or could not be reached.
  bool wait(std::chrono::milliseconds timeout);

 private:
  std::string address_;
  std::optional<net::Connection> connection_;
  std::optional<std::chrono::steady_clock::time_point> connected_at_;
};
