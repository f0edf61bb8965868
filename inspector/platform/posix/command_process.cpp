#include "command_process.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

#include "sys.h"

extern char** environ;

namespace {

using std::chrono::milliseconds;

// What a signal that ends the program must end too, readable in its handler:
// the window's processes go with the program, the command's must as well.
volatile sig_atomic_t signalled_group = 0;
constexpr size_t kSignalledPids = 256;
std::atomic<int> signalled_pids[kSignalledPids];

extern "C" void end_command_and_die(int signal_number) {
  if (signalled_group > 0) ::kill(-signalled_group, SIGTERM);
  for (std::atomic<int>& pid : signalled_pids) {
    if (int value = pid.load(); value > 0) ::kill(value, SIGTERM);
  }
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

void end_command_with_the_program(pid_t group) {
  signalled_group = group;
  struct sigaction action {};
  action.sa_handler = end_command_and_die;
  sigemptyset(&action.sa_mask);
  // Ctrl+C reaches the command alone on a terminal; without one it is ours too.
  for (int signal_number : {SIGTERM, SIGHUP, SIGINT, SIGQUIT}) {
    struct sigaction previous {};
    ::sigaction(signal_number, nullptr, &previous);
    if (previous.sa_handler == SIG_IGN) continue;  // as a shell's nohup left it
    ::sigaction(signal_number, &action, nullptr);
  }
}

void remember_for_signals(int pid) {
  for (std::atomic<int>& slot : signalled_pids) {
    int empty = 0;
    if (slot.load() == pid || slot.compare_exchange_strong(empty, pid)) return;
  }
}

// The command's own group, which the terminal gives its keys to while it
// runs; the program takes the terminal back when it ends.
class PosixCommand final : public CommandProcesses {
 public:
  explicit PosixCommand(pid_t pid) : pid_(pid) {}
  ~PosixCommand() override { take_terminal_back(); }

  int wait() override {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    take_terminal_back();
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
  }

  void adopt(int pid) override {
    std::lock_guard lock(mutex_);
    adopted_.insert(pid);
    remember_for_signals(pid);
  }

  void end_all() override {
    signal_all(SIGTERM);
    // A moment for servers to close what they hold, then no more asking.
    const auto deadline = std::chrono::steady_clock::now() + milliseconds(1500);
    while (std::chrono::steady_clock::now() < deadline && any_running()) {
      std::this_thread::sleep_for(milliseconds(20));
    }
    signal_all(SIGKILL);
    const auto forced = std::chrono::steady_clock::now() + milliseconds(500);
    while (std::chrono::steady_clock::now() < forced && any_running()) {
      std::this_thread::sleep_for(milliseconds(10));
    }
  }

 private:
  void signal_all(int signal) {
    std::lock_guard lock(mutex_);
    ::kill(-pid_, signal);  // the group outlives its leader
    for (int pid : adopted_) ::kill(pid, signal);
  }

  bool any_running() {
    std::lock_guard lock(mutex_);
    if (::kill(-pid_, 0) == 0) return true;
    for (int pid : adopted_) {
      if (::kill(pid, 0) == 0 && !zombie(pid)) return true;
    }
    return false;
  }

  // A child of this program that ended but was not waited for yet.
  static bool zombie(int pid) {
    int status;
    return ::waitpid(pid, &status, WNOHANG) == pid;
  }

  void take_terminal_back() {
    std::lock_guard lock(mutex_);
    if (terminal_returned_) return;
    terminal_returned_ = true;
    if (!::isatty(STDIN_FILENO) || ::tcgetpgrp(STDIN_FILENO) != pid_) return;
    // A background group asking for the terminal is stopped unless it ignores this.
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGTTOU, &ignore, &previous);
    ::tcsetpgrp(STDIN_FILENO, ::getpgrp());
    ::sigaction(SIGTTOU, &previous, nullptr);
  }

  const pid_t pid_;
  std::mutex mutex_;
  std::set<int> adopted_;
  bool terminal_returned_ = false;
};

// Everything the child needs, made before fork: after it only calls that are
// safe in a copy of a threaded process.
struct Launch {
  std::vector<std::string> argv_text;
  std::vector<std::string> env_text;
  std::vector<char*> argv;
  std::vector<char*> env;
};

Launch prepare(const std::vector<std::string>& argv,
               const std::vector<EnvironmentSetting>& settings) {
  Launch launch;
  launch.argv_text = argv;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    std::string_view text(*entry);
    const std::string_view name = text.substr(0, text.find('='));
    bool replaced = false;
    for (const EnvironmentSetting& setting : settings) replaced |= setting.name == name;
    if (!replaced) launch.env_text.emplace_back(text);
  }
  for (const EnvironmentSetting& setting : settings) {
    launch.env_text.push_back(setting.name + "=" + setting.value);
  }
  for (std::string& text : launch.argv_text) launch.argv.push_back(text.data());
  launch.argv.push_back(nullptr);
  for (std::string& text : launch.env_text) launch.env.push_back(text.data());
  launch.env.push_back(nullptr);
  return launch;
}

}  // namespace

Result<std::unique_ptr<CommandProcesses>> start_command(
    const std::vector<std::string>& argv, const std::vector<EnvironmentSetting>& settings) {
  if (argv.empty()) return ErrorChain::from_message("--run needs a command");
  Launch launch = prepare(argv, settings);
  // The child reports a failed exec through this pipe; a successful one closes it.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    return ErrorChain::from_os_error(errno, sys::system_error_text(errno))
        .with_context("cannot run " + argv.front());
  }
  const bool terminal = ::isatty(STDIN_FILENO) && ::tcgetpgrp(STDIN_FILENO) == ::getpgrp();
  const pid_t pid = ::fork();
  if (pid < 0) {
    const int error = errno;
    ::close(report[0]);
    ::close(report[1]);
    return ErrorChain::from_os_error(error, sys::system_error_text(error))
        .with_context("cannot run " + argv.front());
  }
  if (pid == 0) {
    ::close(report[0]);
    ::setpgid(0, 0);
    if (terminal) {
      signal(SIGTTOU, SIG_IGN);
      ::tcsetpgrp(STDIN_FILENO, ::getpid());
    }
    for (int signal_number : {SIGTTOU, SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGCHLD}) {
      signal(signal_number, SIG_DFL);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    environ = launch.env.data();
    ::execvp(launch.argv[0], launch.argv.data());
    const int error = errno;
    ssize_t ignored = ::write(report[1], &error, sizeof error);
    (void)ignored;
    ::_exit(127);
  }
  ::close(report[1]);
  // Both sides set the group, so it exists whichever runs first.
  ::setpgid(pid, pid);
  int error = 0;
  ssize_t got;
  while ((got = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  ::close(report[0]);
  auto command = std::make_unique<PosixCommand>(pid);
  end_command_with_the_program(pid);
  if (got == static_cast<ssize_t>(sizeof error)) {
    command->wait();
    return ErrorChain::from_os_error(error, sys::system_error_text(error))
        .with_context("cannot run " + argv.front());
  }
  return std::unique_ptr<CommandProcesses>(std::move(command));
}

bool process_running(int pid) {
  return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}
