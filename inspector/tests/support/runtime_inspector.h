// Real script engines with their inspectors on a free loopback port: the
// pinned Node releases, the system's node, Deno and workerd.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/process_runner.h"

// A loopback port that was free a moment ago.
uint16_t free_loopback_port();

inline constexpr const char* kKeepAlive = "setInterval(() => {}, 1000);";

class RuntimeInspector {
 public:
  // `runtime`: one of runtime_names(). With `pause_on_start` the engine waits
  // for a debugger before it runs `script` (not for workerd, which has none).
  // `port` 0 takes a free one; `extra_flags` go before the inspector flag.
  RuntimeInspector(const std::string& runtime, bool pause_on_start = false,
                   const std::string& script = kKeepAlive, uint16_t port = 0,
                   const std::vector<std::string>& extra_flags = {});
  ~RuntimeInspector();

  static std::vector<std::string> runtime_names();
  // False when the pinned runtimes were not installed.
  static bool installed(const std::string& runtime);

  // "127.0.0.1:PORT", chosen before the engine starts.
  const std::string& address() const { return address_; }
  // The first target without "ws://", once the engine has said where it
  // listens; empty if it did not say so in time.
  std::string target(std::chrono::milliseconds timeout = std::chrono::seconds(20));
  BackgroundProcess& process() { return *process_; }
  // The script the engine runs (not for workerd).
  std::filesystem::path script_path() const;

 private:
  std::string runtime_;
  std::filesystem::path folder_;
  std::string address_;
  std::unique_ptr<BackgroundProcess> process_;
};
