#include "hub_session.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "announce_endpoint.h"
#include "command_process.h"
#include "sys.h"
#include "target_list_client.h"
#include "target_roster.h"
#include "targets_scripts.h"

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kListInterval{500};
constexpr milliseconds kRepeatInterval{1000};

// The roster behind a lock, with a wake-up for the feed when it changes.
class SharedRoster {
 public:
  template <class Change>
  void change(Change change) {
    std::lock_guard lock(mutex_);
    change(roster_);
    changed_.notify_all();
  }

  // Gives the script for the page when the list changed since `version`, or
  // when `timeout` passed.
  std::string wait_for_change(uint64_t& version, milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return roster_.version() != version; });
    version = roster_.version();
    return hub_targets_script(roster_.targets());
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  TargetRoster roster_;
};

// Detached threads: the program ends when the window closes, whatever they do.
void start_feed(std::shared_ptr<SharedRoster> roster,
                std::function<void(const std::string&)> run_in_page) {
  std::thread([roster, run_in_page] {
    uint64_t version = UINT64_MAX;
    for (;;) run_in_page(roster->wait_for_change(version, kRepeatInterval));
  }).detach();
}

class AllTargets final : public HubSession {
 public:
  explicit AllTargets(std::string address) : roster_(std::make_shared<SharedRoster>()) {
    std::thread([roster = roster_, address = std::move(address)] {
      for (;;) {
        auto body = fetch_target_list_once(address);
        roster->change([&](TargetRoster& list) {
          list.list(body ? std::optional<std::string_view>(body.value()) : std::nullopt);
        });
        std::this_thread::sleep_for(kListInterval);
      }
    }).detach();
  }

  void feed(std::function<void(const std::string&)> run_in_page) override {
    start_feed(roster_, std::move(run_in_page));
  }
  int close() override { return 0; }

 private:
  std::shared_ptr<SharedRoster> roster_;
};

class CommandRun final : public HubSession {
 public:
  CommandRun(std::unique_ptr<AnnounceEndpoint> endpoint, std::string secret)
      : endpoint_(std::move(endpoint)),
        secret_(std::move(secret)),
        roster_(std::make_shared<SharedRoster>()) {}

  Status start(const std::vector<std::string>& command) {
    std::vector<EnvironmentSetting> settings = {
        {"NODE_OPTIONS",
         node_options_with_preload(sys::environment_variable("NODE_OPTIONS").value_or(""),
                                   endpoint_->preload_path())},
        {"VORPEL_ANNOUNCE", endpoint_->name()},
        {"VORPEL_ANNOUNCE_SECRET", secret_},
    };
    auto started = start_command(command, settings);
    if (!started) return std::move(started).error();
    processes_ = std::move(started).value();
    std::thread(&CommandRun::read_announcements, this).detach();
    std::thread(&CommandRun::drop_ended, this).detach();
    waiter_ = std::thread([this] {
      const int status = processes_->wait();
      sys::write_output_line(command_end_line(status));
      std::lock_guard lock(mutex_);
      status_ = status;
    });
    return std::nullopt;
  }

  void feed(std::function<void(const std::string&)> run_in_page) override {
    start_feed(roster_, std::move(run_in_page));
  }

  int close() override {
    endpoint_->remove();
    processes_->end_all();
    if (waiter_.joinable()) waiter_.join();
    std::lock_guard lock(mutex_);
    return status_.value_or(0);
  }

 private:
  void read_announcements() {
    for (;;) {
      auto line = endpoint_->next_message();
      if (!line) return;
      auto announcement = read_announcement(line.value(), secret_);
      if (!announcement) continue;  // not ours: nothing is said, nothing waits on it
      processes_->adopt(announcement.value().pid);
      roster_->change([&](TargetRoster& list) { list.announce(announcement.value()); });
    }
  }

  void drop_ended() {
    for (;;) {
      std::this_thread::sleep_for(kListInterval);
      roster_->change([](TargetRoster& list) { list.drop_ended(process_running); });
    }
  }

  std::unique_ptr<AnnounceEndpoint> endpoint_;
  std::string secret_;
  std::shared_ptr<SharedRoster> roster_;
  std::unique_ptr<CommandProcesses> processes_;
  std::thread waiter_;
  std::mutex mutex_;
  std::optional<int> status_;
};

}  // namespace

std::string command_end_line(int status) {
  return "vorpel_inspector: the command ended with status " + std::to_string(status) + "\n";
}

std::string node_options_with_preload(const std::string& user_options,
                                      const std::string& preload_path) {
  // NODE_OPTIONS takes a quoted value, with "\" escaping inside the quotes.
  std::string quoted = "\"";
  for (char c : preload_path) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  std::string options = user_options;
  if (!options.empty()) options += ' ';
  return options + "--require " + quoted;
}

Result<HubSession*> run_command(const std::vector<std::string>& command) {
  auto endpoint = open_announce_endpoint(kAnnouncePreloadScript);
  if (!endpoint) return std::move(endpoint).error().with_context("prepare the run");
  // Never destroyed: its threads run until the program ends, and close()
  // removes what it made on disk.
  auto* run = new CommandRun(std::move(endpoint).value(), new_run_secret());
  if (auto error = run->start(command)) {
    delete run;
    return std::move(*error);
  }
  return static_cast<HubSession*>(run);
}

std::unique_ptr<HubSession> list_all_targets(std::string address) {
  return std::make_unique<AllTargets>(std::move(address));
}
