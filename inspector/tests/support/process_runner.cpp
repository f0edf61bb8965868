#include "process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> changed_environment(const EnvironmentChanges& changes) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string text(*entry);
    std::string name = text.substr(0, text.find('='));
    if (changes.count(name) == 0) env.push_back(text);
  }
  for (const auto& [name, value] : changes) {
    if (value) env.push_back(name + "=" + *value);
  }
  return env;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> result;
  for (std::string& text : texts) result.push_back(text.data());
  result.push_back(nullptr);
  return result;
}

// Starts argv with stdin from /dev/null and stdout/stderr into pipes.
pid_t spawn(const std::vector<std::string>& argv, const EnvironmentChanges& changes, int* out_fd,
            int* err_fd) {
  int out_pipe[2], err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // A group of its own, so that stopping it also stops what it started.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  std::vector<std::string> args = argv;
  std::vector<std::string> env = changed_environment(changes);
  auto arg_pointers = pointers(args);
  auto env_pointers = pointers(env);
  pid_t pid = -1;
  if (posix_spawnp(&pid, arg_pointers[0], &actions, &attributes, arg_pointers.data(),
                   env_pointers.data()) != 0) {
    pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(out_pipe[1]);
  close(err_pipe[1]);
  *out_fd = out_pipe[0];
  *err_fd = err_pipe[0];
  fcntl(*out_fd, F_SETFL, O_NONBLOCK);
  fcntl(*err_fd, F_SETFL, O_NONBLOCK);
  return pid;
}

// Reads what is available; false once the pipe reached its end.
bool read_available(int fd, std::string& into) {
  char buffer[65536];
  for (;;) {
    ssize_t count = read(fd, buffer, sizeof buffer);
    if (count > 0) {
      into.append(buffer, static_cast<size_t>(count));
      continue;
    }
    return count < 0;  // 0 is the end; -1 with EAGAIN means more may come
  }
}

int decode_status(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::vector<std::string> inspector_command() {
  std::vector<std::string> command;
  if (const char* text = std::getenv("VORPEL_INSPECTOR_COMMAND"); text != nullptr && *text) {
    std::istringstream words(text);
    for (std::string word; words >> word;) command.push_back(word);
    return command;
  }
  return {VORPEL_INSPECTOR_BINARY};
}

bool testing_windows_build() {
  for (const std::string& word : inspector_command()) {
    if (word.ends_with(".exe")) return true;
  }
  return false;
}

ProcessResult run_process(const std::vector<std::string>& argv, const EnvironmentChanges& env,
                          std::chrono::milliseconds timeout) {
  ProcessResult result;
  const auto start = Clock::now();
  int out_fd, err_fd;
  pid_t pid = spawn(argv, env, &out_fd, &err_fd);
  if (pid < 0) return result;
  bool out_open = true, err_open = true;
  while (out_open || err_open) {
    auto left =
        timeout - std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    if (left.count() <= 0) {
      kill(-pid, SIGKILL);
      break;
    }
    pollfd fds[2] = {{out_open ? out_fd : -1, POLLIN, 0}, {err_open ? err_fd : -1, POLLIN, 0}};
    poll(fds, 2, static_cast<int>(left.count()));
    if (out_open) out_open = read_available(out_fd, result.out);
    if (err_open) err_open = read_available(err_fd, result.err);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  close(out_fd);
  close(err_fd);
  result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  result.exit_status = decode_status(status);
  return result;
}

ProcessResult run_inspector(const std::vector<std::string>& arguments,
                            const EnvironmentChanges& env, std::chrono::milliseconds timeout) {
  std::vector<std::string> argv = inspector_command();
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return run_process(argv, env, timeout);
}

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv,
                                     const EnvironmentChanges& env) {
  pid_ = spawn(argv, env, &out_fd_, &err_fd_);
}

BackgroundProcess::~BackgroundProcess() {
  stop();
  if (out_fd_ >= 0) close(out_fd_);
  if (err_fd_ >= 0) close(err_fd_);
}

void BackgroundProcess::drain() {
  if (out_fd_ >= 0) read_available(out_fd_, out_);
  if (err_fd_ >= 0) read_available(err_fd_, err_);
}

const std::string& BackgroundProcess::out() {
  drain();
  return out_;
}

const std::string& BackgroundProcess::err() {
  drain();
  return err_;
}

bool BackgroundProcess::wait_for_output(const std::string& text,
                                        std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    drain();
    if (out_.find(text) != std::string::npos || err_.find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

std::optional<int> BackgroundProcess::wait_exit(std::chrono::milliseconds timeout) {
  if (status_) return status_;
  if (pid_ < 0) return std::nullopt;
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    drain();
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      drain();
      status_ = decode_status(status);
      return status_;
    }
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void BackgroundProcess::stop() {
  if (pid_ < 0 || status_) return;
  kill(-pid_, SIGTERM);
  if (!wait_exit(std::chrono::seconds(3))) {
    kill(-pid_, SIGKILL);
    wait_exit(std::chrono::seconds(3));
  }
}

NodeInspector::NodeInspector(const std::string& flag, const std::string& script)
    : process_({"node", flag + "=127.0.0.1:0", "-e", script}) {
  const std::string marker = "Debugger listening on ws://";
  if (!process_.wait_for_output(marker, std::chrono::seconds(10))) return;
  size_t start = process_.err().find(marker) + marker.size();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (process_.err().find('\n', start) == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const std::string& err = process_.err();
  size_t end = err.find_first_of("\r\n", start);
  target_ = err.substr(start, end - start);
  address_ = target_.substr(0, target_.find('/'));
}
