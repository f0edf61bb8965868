// A workspace host over a temporary folder, with a window that records what
// the host posts and a disk that records what the host opens.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_files.h"
#include "workspace_host.h"

namespace workspace_host_fixture {

namespace fs = std::filesystem;
using json = nlohmann::json;
using namespace std::chrono_literals;

class FakeWindow : public WorkspaceWindow {
 public:
  void post_to_page(std::string message) override {
    json parsed = json::parse(message, nullptr, false);
    ASSERT_FALSE(parsed.is_discarded()) << message;
    posted.push_back(std::move(parsed));
  }
  void bring_to_front() override { ++raised; }
  using Chosen = std::function<void(std::optional<std::string>)>;
  void choose_folder(const std::string& start, Chosen chosen) override {
    folder_starts.push_back(start);
    answer_dialog(hold_folder, held_folder, folder_answer, std::move(chosen));
  }
  void choose_save_file(const std::string& name, Chosen chosen) override {
    suggested.push_back(name);
    answer_dialog(hold_save, held_save, save_answer, std::move(chosen));
  }
  void run_on_ui_thread(std::function<void()> task) override {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
    ready_.notify_all();
  }
  // Runs one task posted from another thread, waiting up to `timeout`.
  bool run_one_task(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!ready_.wait_for(lock, timeout, [&] { return !tasks_.empty(); })) return false;
    auto task = std::move(tasks_.front());
    tasks_.erase(tasks_.begin());
    lock.unlock();
    task();
    return true;
  }

  // The params of every event of that name, in order.
  std::vector<json> events(const std::string& name) const {
    std::vector<json> found;
    for (const json& message : posted) {
      if (message.value("event", "") == name) found.push_back(message["params"]);
    }
    return found;
  }
  // The answer to call `id`: its result or its error object.
  // The answer to `id`, running tasks posted from other threads until it comes.
  json awaited(long long id) {
    json found = answer(id);
    while (found.is_null() && run_one_task(5s)) found = answer(id);
    return found;
  }
  json answer(long long id) const {
    for (const json& message : posted) {
      if (message.contains("id") && message["id"] == id) {
        return message.contains("error") ? message["error"] : message["result"];
      }
    }
    return json();
  }
  std::string streamed(long long stream) const {
    std::string text;
    for (const json& params : events("streamWrite")) {
      if (params[0] == stream) text += params[1].get<std::string>();
    }
    return text;
  }

  std::vector<json> posted;
  int raised = 0;
  std::optional<std::string> folder_answer;
  std::optional<std::string> save_answer;
  // A held dialog answers when the test calls what it kept.
  bool hold_save = false;
  Chosen held_save;
  bool hold_folder = false;
  Chosen held_folder;
  std::vector<std::string> suggested;
  std::vector<std::string> folder_starts;

 private:
  static void answer_dialog(bool hold, Chosen& held, const std::optional<std::string>& path,
                            Chosen chosen) {
    if (hold) {
      held = std::move(chosen);
    } else {
      chosen(path);
    }
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::vector<std::function<void()>> tasks_;
};

// The disk, but recording what is opened and failing writes past a budget.
class WatchedFiles : public FileSystem {
 public:
  explicit WatchedFiles(FileSystem& disk) : disk_(disk) {}
  bool ignores_case() const override { return disk_.ignores_case(); }
  Result<std::string> real_path(const std::string& p) override { return disk_.real_path(p); }
  Status check_folder(const std::string& p) override { return disk_.check_folder(p); }
  Result<FileStatus> status(const std::string& p) override { return disk_.status(p); }
  Result<FolderListing> list_folder(const std::string& p) override {
    if (before_list) before_list(p);
    touched.push_back(p);
    return disk_.list_folder(p);
  }
  Result<std::unique_ptr<FileReader>> open_to_read(const std::string& p) override {
    if (before_open) before_open(p);
    touched.push_back(p);
    return disk_.open_to_read(p);
  }
  Result<std::unique_ptr<FileWriter>> write_beside(const std::string& p) override {
    touched.push_back(p);
    auto writer = disk_.write_beside(p);
    if (!writer || !write_budget) return writer;
    return std::unique_ptr<FileWriter>(
        std::make_unique<FailingWriter>(std::move(writer).value(), *write_budget));
  }
  Status create_file(const std::string& p) override {
    touched.push_back(p);
    return disk_.create_file(p);
  }
  Status create_folder(const std::string& p) override {
    touched.push_back(p);
    return disk_.create_folder(p);
  }
  Status remove_file(const std::string& p) override {
    touched.push_back(p);
    return disk_.remove_file(p);
  }
  Status rename(const std::string& from, const std::string& to) override {
    touched.push_back(from);
    touched.push_back(to);
    return disk_.rename(from, to);
  }

  std::vector<std::string> touched;
  std::optional<size_t> write_budget;
  std::function<void(const std::string&)> before_list;  // runs on the thread that lists
  std::function<void(const std::string&)> before_open;  // runs on the thread that reads

 private:
  class FailingWriter : public FileWriter {
   public:
    FailingWriter(std::unique_ptr<FileWriter> inner, size_t budget)
        : inner_(std::move(inner)), budget_(budget) {}
    Status write(std::string_view bytes) override {
      if (bytes.size() > budget_) return ErrorChain::from_os_error(28, "No space left on device");
      budget_ -= bytes.size();
      return inner_->write(bytes);
    }
    Status commit(std::optional<uint32_t> mode) override { return inner_->commit(mode); }

   private:
    std::unique_ptr<FileWriter> inner_;
    size_t budget_;
  };
  FileSystem& disk_;
};

class WorkspaceHostTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"ws/sub", "outside", "other"})
      fs::create_directories(root_ / folder);
    write("ws/app.js.map", R"({"version":3,"sources":["app.ts"]})");
    write("ws/sub/x.ts", "let x = 1;\n");
    write("outside/secret.map", "secret");
    write("other/y.ts", "y");
    fs::create_directory_symlink("../outside", root_ / "ws/link_out");
    fs::create_symlink("../outside/secret.map", root_ / "ws/secret.map");
    fs::create_symlink("sub/x.ts", root_ / "ws/x_link.ts");
    host_ = std::make_unique<WorkspaceHost>(window_, files_, limits_);
    ASSERT_FALSE(host_->grant(at("ws")));
  }
  void TearDown() override { host_.reset(); }

  void write(const std::string& relative, const std::string& text) {
    write_file(root_ / relative, text);
  }
  std::string read(const std::string& relative) const { return read_file(root_ / relative); }
  std::string at(const std::string& relative) const { return (root_ / relative).string(); }
  std::string url(const std::string& relative) const { return "file://" + at(relative); }
  void call(long long id, const std::string& method, json params) {
    host_->receive(json{{"id", id}, {"method", method}, {"params", std::move(params)}}.dump());
  }
  void restart(WorkspaceLimits limits) {
    limits_ = limits;
    host_ = std::make_unique<WorkspaceHost>(window_, files_, limits_);
    ASSERT_FALSE(host_->grant(at("ws")));
  }
  // Paths the host touched that are outside the workspace.
  std::vector<std::string> touched_outside() const {
    std::vector<std::string> outside;
    for (const std::string& path : files_.touched) {
      if (!path_within(at("ws"), path, false)) outside.push_back(path);
    }
    return outside;
  }
  // Names left in the folder, temporary files included.
  std::vector<std::string> names_in(const std::string& relative) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root_ / relative)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempFolder folder_{"vorpel-host"};
  fs::path root_ = folder_.path();
  FakeWindow window_;
  WatchedFiles files_{native_file_system()};
  WorkspaceLimits limits_;
  std::unique_ptr<WorkspaceHost> host_;
};

}  // namespace workspace_host_fixture
