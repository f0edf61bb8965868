#include "workspace_host.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <sstream>
#include <thread>

#include "base64.h"
#include "workspace_page_script.h"

namespace {

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
  void choose_folder(const std::string& start,
                     std::function<void(std::optional<std::string>)> chosen) override {
    folder_starts.push_back(start);
    chosen(folder_answer);
  }
  void choose_save_file(const std::string& name,
                        std::function<void(std::optional<std::string>)> chosen) override {
    suggested.push_back(name);
    if (hold_save) {
      held_save = std::move(chosen);
    } else {
      chosen(save_answer);
    }
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
  bool hold_save = false;
  std::function<void(std::optional<std::string>)> held_save;
  std::vector<std::string> suggested;
  std::vector<std::string> folder_starts;

 private:
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
    root_ =
        fs::canonical(fs::temp_directory_path()) / ("vorpel-host-" + std::to_string(::getpid()));
    fs::create_directories(root_ / "ws/sub");
    fs::create_directories(root_ / "outside");
    fs::create_directories(root_ / "other");
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
  void TearDown() override {
    host_.reset();
    fs::remove_all(root_);
  }

  void write(const std::string& relative, const std::string& text) {
    std::ofstream(root_ / relative, std::ios::binary) << text;
  }
  std::string read(const std::string& relative) const {
    std::ifstream in(root_ / relative, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
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

  fs::path root_;
  FakeWindow window_;
  WatchedFiles files_{native_file_system()};
  WorkspaceLimits limits_;
  std::unique_ptr<WorkspaceHost> host_;
};

TEST_F(WorkspaceHostTest, MalformedMessagesAreAnsweredOrDropped) {
  struct Case {
    std::string message;
    // The error name answered to id 7, or "" when nothing may be posted.
    std::string error;
  };
  const Case cases[] = {
      {"not json", ""},
      {"", ""},
      {"[1,2]", ""},
      {R"("text")", ""},
      {R"({"id":"7","method":"bringToFront"})", ""},
      {R"({"id":1e300,"method":"bringToFront"})", ""},
      {R"({"id":7.5,"method":"bringToFront"})", ""},
      {R"({"id":-7,"method":"bringToFront"})", ""},
      {R"({"id":9007199254740993,"method":"bringToFront"})", ""},
      {R"({"id":99999999999999999999999,"method":"bringToFront"})", ""},
      {R"({"id":7})", "TypeError"},
      {R"({"id":7,"method":5})", "TypeError"},
      {R"({"id":7,"method":"file.read","params":{"0":"/"}})", "TypeError"},
      {R"({"id":7,"method":"file.read","params":[5]})", "TypeError"},
      {R"({"id":7,"method":"file.read"})", "TypeError"},
      {R"({"id":7,"method":"file.write","params":["/x", "not base64!"]})", "TypeError"},
      {R"({"id":7,"method":"noSuchMethod"})", "NotSupportedError"},
      {R"({"id":7,"method":"__proto__"})", "NotSupportedError"},
      {R"({"method":"noSuchMethod"})", ""},
      {R"({"id":0,"method":"file.read","params":[5]})", ""},
  };
  for (const Case& c : cases) {
    window_.posted.clear();
    host_->receive(c.message);
    if (c.error.empty()) {
      EXPECT_TRUE(window_.posted.empty()) << c.message;
    } else {
      EXPECT_EQ(window_.answer(7).value("name", ""), c.error) << c.message;
    }
  }
  // Streaming requests that lack a stream are refused as bad requests.
  for (const json& params :
       {json::array({url("ws/app.js.map"), ""}), json::array({url("ws/app.js.map"), "", 1.5}),
        json::array({url("ws/app.js.map"), "", "1"}), json::array({5, "", 1})}) {
    window_.posted.clear();
    call(8, "loadNetworkResource", params);
    EXPECT_EQ(window_.answer(8)["statusCode"], 400) << params;
    EXPECT_TRUE(window_.events("streamWrite").empty());
  }
  EXPECT_EQ(window_.raised, 0);
}

TEST_F(WorkspaceHostTest, LoadsOnlyFilesInsideTheWorkspace) {
  struct Case {
    std::string url;
    int status;
    std::string text;
  };
  const std::string ws = "file://" + at("ws");
  const Case cases[] = {
      {url("ws/app.js.map"), 200, R"({"version":3,"sources":["app.ts"]})"},
      {ws + "/sub/../app.js.map", 200, R"({"version":3,"sources":["app.ts"]})"},
      {ws + "/x_link.ts", 200, "let x = 1;\n"},
      {ws + "/sub/%78.ts", 200, "let x = 1;\n"},
      {"file://localhost" + at("ws/sub/x.ts"), 200, "let x = 1;\n"},
      {url("outside/secret.map"), 403, ""},
      {ws + "/../outside/secret.map", 403, ""},
      {ws + "/%2e%2e/outside/secret.map", 403, ""},
      {ws + "/%2E%2E%2Foutside%2Fsecret.map", 403, ""},
      {ws + "/link_out/secret.map", 403, ""},
      {ws + "/secret.map", 403, ""},
      {url("other/y.ts"), 403, ""},
      {url("ws/missing.map"), 403, ""},
      {url("ws/sub"), 404, ""},
      {ws + "/" + std::string(5000, 'a'), 403, ""},
      {"file:///", 403, ""},
      {"file://elsewhere" + at("ws/app.js.map"), 403, ""},
      {"data:application/json,{}", 403, ""},
      {"http://example.com/app.js.map", 403, ""},
      {"https://localhost/app.js.map", 403, ""},
      {"chrome://settings", 403, ""},
  };
  long long stream = 0;
  for (const Case& c : cases) {
    ++stream;
    call(100 + stream, "loadNetworkResource", json::array({c.url, "", stream}));
    const json answer = window_.answer(100 + stream);
    EXPECT_EQ(answer["statusCode"], c.status) << c.url.substr(0, 200);
    EXPECT_EQ(window_.streamed(stream), c.text) << c.url.substr(0, 200);
    if (c.status != 200) {
      EXPECT_TRUE(answer["messageOverride"].is_string()) << c.url.substr(0, 200);
    }
  }
  EXPECT_EQ(touched_outside(), std::vector<std::string>{});
}

TEST_F(WorkspaceHostTest, StreamsLargeFilesInWholeCharacters) {
  WorkspaceLimits limits;
  limits.chunk_bytes = 7;
  limits.max_resource_bytes = 4000;
  restart(limits);
  // Two-, three- and four-byte characters, so some cut falls inside each kind.
  std::string text;
  for (int i = 0; i < 100; ++i) text += "a\xC3\xA9\xE2\x80\x94\xF0\x9F\x98\x80";
  write("ws/big.map", text);
  write("ws/too_big.map", std::string(4001, 'x'));
  write("ws/invalid.map", "a\xFF\xC3");

  call(1, "loadNetworkResource", json::array({url("ws/big.map"), "", 1}));
  EXPECT_EQ(window_.answer(1)["statusCode"], 200);
  EXPECT_EQ(window_.streamed(1), text);
  const auto chunks = window_.events("streamWrite");
  EXPECT_GT(chunks.size(), text.size() / 7);
  for (const json& chunk : chunks) EXPECT_LE(chunk[1].get<std::string>().size(), 7u);

  call(2, "loadNetworkResource", json::array({url("ws/too_big.map"), "", 2}));
  EXPECT_EQ(window_.answer(2)["statusCode"], 413);
  call(3, "loadNetworkResource", json::array({url("ws/invalid.map"), "", 3}));
  EXPECT_EQ(window_.answer(3)["statusCode"], 200);
  EXPECT_EQ(window_.streamed(3), "a\xEF\xBF\xBD\xEF\xBF\xBD");
}

// A stand-in for the network: answers by the path, after a pause, and keeps
// the limits it was given.
std::mutex fetched_mutex;
FetchLimits fetched_limits{};
Result<FetchedResource> fake_fetch(const LoopbackResource& resource, const FetchLimits& limits) {
  {
    std::lock_guard<std::mutex> lock(fetched_mutex);
    fetched_limits = limits;
  }
  std::this_thread::sleep_for(50ms);
  if (resource.target == "/app.js.map") return FetchedResource{200, "{\"version\":3}"};
  if (resource.target == "/big.map") return FetchedResource{200, std::string(20, 'x')};
  if (resource.target == "/gone.map") return FetchedResource{404, "Not Found"};
  return ErrorChain::from_message("the server took too long");
}

TEST_F(WorkspaceHostTest, FetchesLoopbackResourcesOffTheUiThread) {
  WorkspaceLimits limits;
  limits.chunk_bytes = 8;
  host_ = std::make_unique<WorkspaceHost>(window_, files_, limits, fake_fetch);
  struct Case {
    const char* path;
    int status;
    std::string text;
  };
  const Case cases[] = {
      {"/app.js.map", 200, "{\"version\":3}"},
      {"/big.map", 200, std::string(20, 'x')},
      {"/gone.map", 404, "Not Found"},
      {"/slow.map", 404, ""},
  };
  long long id = 0;
  for (const Case& c : cases) {
    ++id;
    call(id, "loadNetworkResource",
         json::array({std::string("http://localhost:8080").append(c.path), "", id}));
    EXPECT_TRUE(window_.answer(id).is_null()) << "answered before the fetch ended: " << c.path;
    ASSERT_TRUE(window_.run_one_task(5s)) << c.path;
    EXPECT_EQ(window_.answer(id)["statusCode"], c.status) << c.path;
    EXPECT_EQ(window_.streamed(id), c.text) << c.path;
  }
  EXPECT_EQ(window_.events("streamWrite").size(), 2u + 3u + 2u);  // 8-byte pieces
  std::lock_guard<std::mutex> lock(fetched_mutex);
  EXPECT_EQ(fetched_limits.max_body_bytes, limits.max_resource_bytes);
  EXPECT_EQ(fetched_limits.time, limits.fetch_time);
}

TEST_F(WorkspaceHostTest, FetchThatEndsAfterTheHostIsGoneAnswersNobody) {
  host_ = std::make_unique<WorkspaceHost>(window_, files_, WorkspaceLimits{}, fake_fetch);
  call(1, "loadNetworkResource", json::array({"http://127.0.0.1:1/app.js.map", "", 1}));
  host_.reset();
  ASSERT_TRUE(window_.run_one_task(5s));
  EXPECT_TRUE(window_.posted.empty());
}

TEST_F(WorkspaceHostTest, ChunkedSaves) {
  struct Case {
    const char* name;
    std::vector<std::string> chunks;  // the first goes with save
    bool cancel = false;
    bool close_before_answer = false;
    std::optional<size_t> write_budget;
    bool saved;
  };
  std::vector<std::string> many(200, std::string(64 * 1024, 'h'));
  many[0] = "{\"snapshot\":";
  const Case cases[] = {
      {"whole", {"", "{\"a\":", "1}"}, false, false, std::nullopt, true},
      {"first chunk with save", {"all at once"}, false, false, std::nullopt, true},
      {"many chunks", many, false, false, std::nullopt, true},
      {"closed before the dialog answered",
       {"early", " and more"},
       false,
       true,
       std::nullopt,
       true},
      {"cancelled", {"", "x"}, true, false, std::nullopt, false},
      {"disk full midway", {"", "12345", "67890", "abc"}, false, false, 7, false},
      {"disk full at once", {"1234567890"}, false, false, 3, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(root_ / "saves");
    fs::create_directories(root_ / "saves");
    write("saves/heap.heapsnapshot", "the old one");
    window_.posted.clear();
    files_.write_budget = c.write_budget;
    window_.save_answer =
        c.cancel ? std::nullopt : std::optional<std::string>(at("saves/heap.heapsnapshot"));
    window_.hold_save = c.close_before_answer;
    const std::string url = "file:///profiles/Heap-20260101.heapsnapshot";

    call(0, "save", json::array({url, c.chunks[0], true}));
    std::string whole = c.chunks[0];
    for (size_t i = 1; i < c.chunks.size(); ++i) {
      call(0, "append", json::array({url, c.chunks[i]}));
      whole += c.chunks[i];
    }
    call(0, "close", json::array({url}));
    if (c.close_before_answer) window_.held_save(window_.save_answer);

    EXPECT_EQ(window_.suggested.back(), "Heap-20260101.heapsnapshot");
    EXPECT_EQ(read("saves/heap.heapsnapshot"), c.saved ? whole : std::string("the old one"));
    // No temporary file is left behind, whatever happened.
    EXPECT_EQ(names_in("saves"), std::vector<std::string>{"heap.heapsnapshot"});
    EXPECT_EQ(window_.events("appendedToURL").size(), c.chunks.size() - 1);
    EXPECT_EQ(window_.events("canceledSaveURL").size(), c.cancel ? 1u : 0u);
    EXPECT_EQ(window_.events("vorpelError").size(), c.write_budget ? 1u : 0u);
    if (!c.cancel) {
      EXPECT_EQ(window_.events("savedURL").size(), 1u);
    }
  }
  files_.write_budget.reset();
}

TEST_F(WorkspaceHostTest, SavedFileKeepsTheModeOfTheOneItReplaces) {
  write("ws/run.sh", "old");
  ::chmod(at("ws/run.sh").c_str(), 0750);
  window_.save_answer = at("ws/run.sh");
  call(0, "save", json::array({"run.sh", "new", false}));
  call(0, "close", json::array({"run.sh"}));
  EXPECT_EQ(read("ws/run.sh"), "new");
  EXPECT_EQ(fs::status(root_ / "ws/run.sh").permissions(), fs::perms(0750));
}

TEST_F(WorkspaceHostTest, WorkspaceFilesStayInside) {
  write("ws/app.ts", "old text");
  ::chmod(at("ws/app.ts").c_str(), 0741);
  struct Case {
    const char* method;
    json params;
    std::string error;  // "" for success
  };
  const std::string ws = at("ws");
  // A save replaces only what the window read.
  call(100, "file.read", {ws + "/app.ts"});
  call(101, "file.read", {ws + "/x_link.ts"});
  window_.awaited(100);
  window_.awaited(101);
  const Case cases[] = {
      {"file.write", {ws + "/app.ts", base64_encode("new text")}, ""},
      {"file.write", {ws + "/new.ts", base64_encode("made")}, ""},
      {"file.write", {ws + "/x_link.ts", base64_encode("through the link")}, ""},
      {"file.write", {ws + "/link_out/new.ts", base64_encode("x")}, "SecurityError"},
      {"file.write", {ws + "/../outside/new.ts", base64_encode("x")}, "SecurityError"},
      {"file.write", {ws + "/sub", base64_encode("x")}, "TypeMismatchError"},
      {"file.open", {ws + "/made", false, true, true}, ""},
      {"file.open", {ws + "/made", false, true, true}, "InvalidModificationError"},
      {"file.open", {ws + "/made", true, false, false}, "TypeMismatchError"},
      {"file.open", {ws + "/dir", true, true, false}, ""},
      {"file.open", {ws + "/missing", false, false, false}, "NotFoundError"},
      {"file.open", {ws + "/link_out/made", false, true, false}, "SecurityError"},
      {"file.open", {ws + "/secret.map", false, false, false}, "NotFoundError"},
      {"file.open", {ws + "/secret.map", false, true, true}, "InvalidModificationError"},
      {"file.read", {ws + "/secret.map"}, "NotFoundError"},
      {"file.read", {at("outside/secret.map")}, "NotFoundError"},
      {"file.status", {ws + "/link_out"}, "NotFoundError"},
      {"file.entries", {ws + "/link_out"}, "NotFoundError"},
      {"file.rename", {ws + "/made", ws + "/renamed"}, ""},
      {"file.rename", {ws + "/renamed", ws + "/app.ts"}, "InvalidModificationError"},
      {"file.rename", {ws + "/renamed", ws + "/link_out/stolen"}, "SecurityError"},
      {"file.remove", {ws + "/renamed"}, ""},
      {"file.remove", {ws + "/sub"}, "InvalidModificationError"},
      {"file.remove", {at("outside/secret.map")}, "SecurityError"},
  };
  long long id = 0;
  for (const Case& c : cases) {
    call(++id, c.method, c.params);
    const json answer = window_.answer(id);
    if (c.error.empty()) {
      EXPECT_EQ(answer, true) << c.method << " " << c.params;
    } else {
      EXPECT_EQ(answer.value("name", ""), c.error) << c.method << " " << c.params;
    }
  }
  EXPECT_EQ(read("ws/app.ts"), "new text");
  EXPECT_EQ(fs::status(root_ / "ws/app.ts").permissions(), fs::perms(0741));
  EXPECT_EQ(read("ws/new.ts"), "made");
  EXPECT_EQ(read("ws/sub/x.ts"), "through the link");
  EXPECT_TRUE(fs::is_symlink(root_ / "ws/x_link.ts"));
  EXPECT_TRUE(fs::is_directory(root_ / "ws/dir"));
  EXPECT_EQ(names_in("outside"), std::vector<std::string>{"secret.map"});
  EXPECT_EQ(read("outside/secret.map"), "secret");
  EXPECT_EQ(touched_outside(), std::vector<std::string>{});
}

TEST_F(WorkspaceHostTest, SavesReplaceOnlyWhatTheWindowRead) {
  // Steps on one file: "read" it into the page, "edit" it on disk meanwhile,
  // "save" text (refused when the expected disk text is unchanged), "new" it
  // from the page, or "reload" the page.
  struct Step {
    const char* action;
    std::string text = {};
    bool refused = false;
  };
  struct Case {
    const char* name;
    std::string before;  // "" for no file
    std::vector<Step> steps;
    std::string after;
  };
  const std::string trailer = "\n//# sourceURL=file:///app.ts\n";
  const Case cases[] = {
      {"read, then saved twice", "a", {{"read"}, {"save", "b"}, {"save", "c"}}, "c"},
      {"never read", "a", {{"save", "b", true}}, "a"},
      {"changed on disk after the read", "a", {{"read"}, {"edit", "z"}, {"save", "b", true}}, "z"},
      {"read again after the change",
       "a",
       {{"read"}, {"edit", "z"}, {"read"}, {"save", "b", true}},
       "z"},
      {"the engine's copy", "let a;\n", {{"read"}, {"save", "let a;" + trailer, true}}, "let a;\n"},
      {"a trailer the file has", "a" + trailer, {{"read"}, {"save", "b" + trailer}}, "b" + trailer},
      {"a new file", "", {{"save", "b"}}, "b"},
      {"made by the page", "", {{"new"}, {"save", "b"}}, "b"},
      {"a new page has read nothing", "a", {{"read"}, {"reload"}, {"save", "b", true}}, "a"},
      {"a new page that read it", "a", {{"read"}, {"reload"}, {"read"}, {"save", "b"}}, "b"},
  };
  long long id = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = at("ws/saved.ts");
    fs::remove(file);
    if (!c.before.empty()) write("ws/saved.ts", c.before);
    window_.posted.clear();
    for (const Step& step : c.steps) {
      const std::string action = step.action;
      if (action == "read") {
        call(++id, "file.read", {file});
        ASSERT_TRUE(window_.awaited(id).is_string());
      } else if (action == "edit") {
        write("ws/saved.ts", step.text);
      } else if (action == "new") {
        call(++id, "file.open", {file, false, true, true});
        ASSERT_EQ(window_.answer(id), true);
      } else if (action == "reload") {
        call(++id, "requestFileSystems", json::array());
      } else {
        call(++id, "file.write", {file, base64_encode(step.text)});
        const json answer = window_.answer(id);
        EXPECT_EQ(answer == true, !step.refused) << answer;
        // A refusal is said in the frontend's console, with the file's path.
        const auto said = window_.events("vorpelError");
        EXPECT_EQ(said.size(), step.refused ? 1u : 0u);
        if (!said.empty()) {
          EXPECT_NE(said[0][0].get<std::string>().find(file), std::string::npos);
        }
        window_.posted.clear();
      }
    }
    EXPECT_EQ(read("ws/saved.ts"), c.after);
    call(++id, "file.remove", {file});
  }
  // What a rename moves, the page holds under the new name.
  write("ws/before.ts", "a");
  call(++id, "file.read", {at("ws/before.ts")});
  window_.awaited(id);
  call(++id, "file.rename", {at("ws/before.ts"), at("ws/after.ts")});
  call(++id, "file.write", {at("ws/after.ts"), base64_encode("b")});
  EXPECT_EQ(window_.answer(id), true);
  EXPECT_EQ(read("ws/after.ts"), "b");
}

TEST_F(WorkspaceHostTest, ReadsListsAndStatuses) {
  call(1, "file.entries", {at("ws")});
  std::vector<std::string> listed;
  for (const json& entry : window_.answer(1)) {
    listed.push_back(entry["name"].get<std::string>() + (entry["folder"] == true ? "/" : ""));
  }
  std::sort(listed.begin(), listed.end());
  // Links out of the workspace are not listed.
  EXPECT_EQ(listed, (std::vector<std::string>{"app.js.map", "sub/", "x_link.ts"}));
  call(2, "file.read", {at("ws/sub/x.ts")});
  EXPECT_EQ(base64_decode(window_.awaited(2).get<std::string>()), "let x = 1;\n");
  call(3, "file.status", {at("ws/sub/x.ts")});
  EXPECT_EQ(window_.answer(3)["size"], 11);
  EXPECT_EQ(window_.answer(3)["kind"], "file");
  call(4, "searchInPath", {9, at("ws"), "x"});
  ASSERT_TRUE(window_.run_one_task(5s));
  const auto search = window_.events("searchCompleted");
  ASSERT_EQ(search.size(), 1u);
  EXPECT_EQ(search[0][0], 9);
  EXPECT_EQ(search[0][2], json::array({at("ws/sub/x.ts")}));  // links are not followed
  call(5, "searchInPath", {10, at("outside"), "x"});
  EXPECT_TRUE(window_.events("searchCompleted")[1][2].empty());
  EXPECT_EQ(touched_outside(), std::vector<std::string>{});
}

TEST_F(WorkspaceHostTest, ReadsWholeFilesOffTheUiThread) {
  WorkspaceLimits limits;
  limits.chunk_bytes = 4;
  limits.max_resource_bytes = 10;
  restart(limits);
  struct Case {
    const char* name;
    std::string content;
    std::string error;  // "" when the content comes back
  };
  const Case cases[] = {
      {"empty", "", ""},
      {"one piece", "abc", ""},
      {"pieces end on the boundary", "abcdefgh", ""},
      {"at the limit", "0123456789", ""},
      {"over the limit", "0123456789a", "QuotaExceededError"},
      {"not UTF-8", std::string("\xff\x00\xfe", 3), ""},
  };
  long long id = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write("ws/read.bin", c.content);
    call(++id, "file.read", {at("ws/read.bin")});
    // The reply comes through the UI thread's queue, never from inside the call.
    EXPECT_TRUE(window_.answer(id).is_null());
    const json answer = window_.awaited(id);
    if (c.error.empty()) {
      ASSERT_TRUE(answer.is_string()) << answer;
      EXPECT_EQ(base64_decode(answer.get<std::string>()), c.content);
    } else {
      EXPECT_EQ(answer.value("name", ""), c.error);
    }
  }
}

TEST_F(WorkspaceHostTest, SearchListsFoldersOffTheUiThread) {
  struct Case {
    const char* name;
    bool removed_meanwhile;
    size_t listed;
  };
  const Case cases[] = {
      {"kept", false, 1},
      {"removed while listing", true, 0},  // nothing from a folder no longer granted
  };
  long long request = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::promise<void> opened;
    std::shared_future<void> gate = opened.get_future().share();
    files_.before_list = [gate](const std::string&) { gate.wait_for(5s); };
    ++request;
    call(request, "searchInPath", {request, at("ws"), "x"});
    // The listing waits on the gate: a call that listed in place would have
    // answered by now.
    const size_t before = window_.events("searchCompleted").size();
    if (c.removed_meanwhile) call(0, "removeFileSystem", json::array({at("ws")}));
    opened.set_value();
    ASSERT_TRUE(window_.run_one_task(5s));
    const auto done = window_.events("searchCompleted");
    ASSERT_EQ(done.size(), before + 1);
    EXPECT_EQ(done.back()[0], request);
    EXPECT_EQ(done.back()[2].size(), c.listed);
  }
}

// A folder that becomes a link to elsewhere between the check of its path
// and its listing: neither a listing nor a search may show what is there.
TEST_F(WorkspaceHostTest, FoldersSwappedForLinksMeanwhileShowNothingOutside) {
  fs::create_directories(root_ / "ws/sub/deep");
  fs::create_directories(root_ / "outside/deep");
  write("ws/sub/deep/kept.txt", "secret kept");
  write("outside/leak.txt", "secret leak");
  write("outside/deep/leak.txt", "secret leak");
  struct Case {
    const char* name;
    const char* listed;  // ws/sub becomes a link to outside just before this is listed
  };
  const Case cases[] = {
      {"the folder being listed", "ws/sub"},
      {"a folder above it", "ws/sub/deep"},
  };
  auto shows_outside = [](const std::string& text) {
    return text.find("leak.txt") != std::string::npos;
  };
  long long id = 100;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A search for a word opens what it lists; one with none (a regular
    // expression) lists names only.
    const std::pair<const char*, const char*> asks[] = {
        {"file.entries", ""}, {"searchInPath", "secret"}, {"searchInPath", ""}};
    for (const auto& [method, query] : asks) {
      SCOPED_TRACE(std::string(method) + " " + query);
      std::atomic<bool> swapped{false};
      files_.before_list = [&, listed = at(c.listed)](const std::string& path) {
        if (path != listed || swapped.exchange(true)) return;
        fs::rename(root_ / "ws/sub", root_ / "ws/sub_moved");
        fs::create_directory_symlink("../outside", root_ / "ws/sub");
      };
      ++id;
      if (std::string(method) == "file.entries") {
        call(id, method, {at(c.listed)});
        const json answer = window_.answer(id);
        EXPECT_TRUE(answer.contains("name")) << answer;
        EXPECT_FALSE(shows_outside(answer.dump()));
      } else {
        const size_t before = window_.events("searchCompleted").size();
        call(0, method, {id, at("ws"), query});
        while (window_.events("searchCompleted").size() == before) {
          ASSERT_TRUE(window_.run_one_task(5s));
        }
        EXPECT_FALSE(shows_outside(window_.events("searchCompleted").back().dump()));
      }
      files_.before_list = nullptr;
      ASSERT_TRUE(swapped);
      fs::remove(root_ / "ws/sub");
      fs::rename(root_ / "ws/sub_moved", root_ / "ws/sub");
    }
  }
}

TEST_F(WorkspaceHostTest, FoldersTheUserGives) {
  call(0, "requestFileSystems", json::array());
  auto loaded = window_.events("fileSystemsLoaded");
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded[0][0], json::array({{{"type", ""},
                                        {"fileSystemName", at("ws")},
                                        {"rootURL", ""},
                                        {"fileSystemPath", at("ws")}}}));

  window_.folder_answer.reset();
  call(0, "addFileSystem", json::array({""}));
  EXPECT_EQ(window_.folder_starts.back(), root_.string());
  EXPECT_EQ(window_.events("fileSystemAdded").back(),
            json::array({"<selection cancelled>", nullptr}));
  call(1, "file.read", {at("other/y.ts")});
  EXPECT_EQ(window_.answer(1)["name"], "NotFoundError");

  window_.folder_answer = at("other");
  call(0, "addFileSystem", json::array({"overrides"}));
  EXPECT_EQ(window_.events("fileSystemAdded").back()[1]["fileSystemPath"], at("other"));
  EXPECT_EQ(window_.events("fileSystemAdded").back()[1]["type"], "overrides");
  call(2, "file.read", {at("other/y.ts")});
  EXPECT_EQ(base64_decode(window_.awaited(2).get<std::string>()), "y");

  call(0, "removeFileSystem", json::array({at("other")}));
  EXPECT_EQ(window_.events("fileSystemRemoved").back(), json::array({at("other")}));
  call(3, "file.read", {at("other/y.ts")});
  EXPECT_EQ(window_.answer(3)["name"], "NotFoundError");
  // Removing a folder never given is ignored.
  call(0, "removeFileSystem", json::array({at("outside")}));
  EXPECT_EQ(window_.events("fileSystemRemoved").size(), 1u);

  call(0, "indexPath", json::array({4, at("ws"), "[]"}));
  EXPECT_EQ(window_.events("indexingDone").back(), json::array({4, at("ws")}));
  call(0, "bringToFront", json::array());
  EXPECT_EQ(window_.raised, 1);
}

TEST(WorkspacePageScriptTest, NamesEveryForwardedMethodAndItsTransport) {
  for (PageTransport transport : {PageTransport::kWebKit, PageTransport::kWebView2}) {
    const std::string script = workspace_page_script(transport);
    for (std::string_view method : workspace_host_methods()) {
      std::string quoted = "\"";
      quoted.append(method).append("\"");
      EXPECT_NE(script.find(quoted), std::string::npos) << method;
    }
    EXPECT_EQ(script.find("METHODS"), std::string::npos);
    const bool webkit = script.find("webkit.messageHandlers") != std::string::npos;
    EXPECT_EQ(webkit, transport == PageTransport::kWebKit);
    for (const char* name : {kWorkspaceMessageHandler, kWorkspaceReceiveFunction}) {
      const bool named = script.find('"' + std::string(name) + '"') != std::string::npos;
      EXPECT_EQ(named, transport == PageTransport::kWebKit) << name;
    }
  }
  EXPECT_EQ(suggested_save_name("file:///a/b/Profile-1.cpuprofile?x"), "Profile-1.cpuprofile");
  EXPECT_EQ(suggested_save_name("snippet.js"), "snippet.js");
  EXPECT_EQ(suggested_save_name(""), "download");
}

TEST(Base64Test, RoundTripsAndRejectsMalformedText) {
  for (const std::string& bytes : {std::string(), std::string("a"), std::string("ab"),
                                   std::string("abc"), std::string("\0\xFF\x80 x", 5)}) {
    EXPECT_EQ(base64_decode(base64_encode(bytes)), bytes);
  }
  EXPECT_EQ(base64_encode("ab"), "YWI=");
  for (const char* bad : {"Y", "YW=I", "YWI", "Y===", "YW!=", "=AAA"}) {
    EXPECT_EQ(base64_decode(bad), std::nullopt) << bad;
  }
}

}  // namespace
