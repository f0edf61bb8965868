// Runs the program under test as a user would, with pipes for its streams.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct ProcessResult {
  std::string out;
  std::string err;
  int exit_status = -1;  // -1 when killed by a signal or the timeout
  std::chrono::milliseconds elapsed{0};
};

// The command that starts the program: VORPEL_INSPECTOR_COMMAND split at
// blanks (for example "wine64 /path/vorpel_inspector.exe"), or the build's binary.
std::vector<std::string> inspector_command();

// True when the program under test is the Windows build.
bool testing_windows_build();

// Environment changes: a value sets the variable, nullopt removes it.
using EnvironmentChanges = std::map<std::string, std::optional<std::string>>;

ProcessResult run_process(const std::vector<std::string>& argv, const EnvironmentChanges& env = {},
                          std::chrono::milliseconds timeout = std::chrono::seconds(60));

ProcessResult run_inspector(const std::vector<std::string>& arguments,
                            const EnvironmentChanges& env = {},
                            std::chrono::milliseconds timeout = std::chrono::seconds(60));

// A child that runs in the background until stopped; its stderr is kept.
class BackgroundProcess {
 public:
  BackgroundProcess(const std::vector<std::string>& argv, const EnvironmentChanges& env = {});
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  pid_t pid() const { return pid_; }
  // Reads what the child wrote so far (nonblocking) and returns all of it.
  const std::string& out();
  const std::string& err();
  // Waits up to `timeout` for `text` to appear on stdout or stderr.
  bool wait_for_output(const std::string& text, std::chrono::milliseconds timeout);
  // Waits for the child to end; nullopt on timeout.
  std::optional<int> wait_exit(std::chrono::milliseconds timeout);
  void stop();

 private:
  void drain();
  pid_t pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  std::string out_;
  std::string err_;
  std::optional<int> status_;
};

// A real node inspector on a free loopback port.
class NodeInspector {
 public:
  explicit NodeInspector(const std::string& flag = "--inspect",
                         const std::string& script = "setInterval(() => {}, 1000)");
  // "127.0.0.1:PORT", empty when node did not start.
  const std::string& address() const { return address_; }
  // The first target's webSocketDebuggerUrl without "ws://".
  const std::string& target() const { return target_; }
  BackgroundProcess& process() { return process_; }

 private:
  BackgroundProcess process_;
  std::string address_;
  std::string target_;
};
