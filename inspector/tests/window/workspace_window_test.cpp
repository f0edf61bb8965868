// --workspace end to end: a real tsc project under a real node, the window
// on a display of the test's own, driven with keys and clicks as a user does.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "support/loopback_server.h"
#include "support/process_runner.h"
#include "support/recording_forwarder.h"
#include "support/runtime_inspector.h"
#include "support/startup_text.h"
#include "support/test_files.h"
#include "support/window_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Whether the engine reported a pause whose top frame is `function` at the
// zero-based line `line` of the running script (any line when -1).
bool paused_in(const std::string& replies, const std::string& function, int line) {
  size_t at = 0;
  while ((at = replies.find("\"method\":\"Debugger.paused\"", at)) != std::string::npos) {
    const std::string frame = replies.substr(at, 1500);
    const size_t name = frame.find("\"functionName\":\"" + function + "\"");
    const size_t location = frame.find("\"location\":{\"scriptId\":");
    if (name != std::string::npos && location != std::string::npos) {
      const size_t number = frame.find("\"lineNumber\":", location);
      if (number != std::string::npos &&
          (line < 0 || std::atoi(frame.c_str() + number + 13) == line)) {
        return true;
      }
    }
    at += 1;
  }
  return false;
}

// Names in a folder that were opened or read while it was watched.
class OpenWatch {
 public:
  explicit OpenWatch(const std::string& folder) {
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    inotify_add_watch(fd_, folder.c_str(), IN_OPEN | IN_ACCESS);
  }
  ~OpenWatch() { close(fd_); }
  std::vector<std::string> names() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      ssize_t count = read(fd_, buffer, sizeof buffer);
      if (count <= 0) break;
      for (char* at = buffer; at < buffer + count;) {
        auto* event = reinterpret_cast<inotify_event*>(at);
        names_.push_back(event->len > 0 ? std::string(event->name) : std::string("."));
        at += sizeof(inotify_event) + event->len;
      }
    }
    return names_;
  }
  void forget() {
    names();
    names_.clear();
  }
  bool saw(const std::string& name, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
      auto seen = names();
      if (std::find(seen.begin(), seen.end(), name) != seen.end()) return true;
      std::this_thread::sleep_for(100ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
  }

 private:
  int fd_;
  std::vector<std::string> names_;
};

// A TypeScript function whose line 9 is line 3 of the compiled script: the
// type declarations above it leave nothing behind.
constexpr const char* kAppTs = R"ts(interface Point {
  x: number;
  y: number;
}

type Pair = [number, number];

function norm(p: Point): number {
  const squared = p.x * p.x + p.y * p.y;
  return Math.sqrt(squared);
}

let ticks = 0;
setInterval(() => {
  ticks += 1;
  const pair: Pair = [ticks, ticks + 1];
  norm({ x: pair[0], y: pair[1] });
}, 100);
)ts";

class WorkspaceWindowTest : public WindowFixture {
 protected:
  void SetUp() override {
    WindowFixture::SetUp();
    if (IsSkipped()) return;
    root_ = fs::path(fresh_["TMPDIR"]) / "projects";
    project_ = root_ / "app";
    outside_ = root_ / "elsewhere";
    fs::create_directories(project_);
    fs::create_directories(outside_);
    std::ofstream(project_ / "app.ts") << kAppTs;
    std::ofstream(project_ / "tsconfig.json")
        << R"({"compilerOptions":{"target":"es2020","module":"commonjs","sourceMap":true,)"
        << R"("strict":true},"files":["app.ts"]})";
    const fs::path modules = VORPEL_TEST_RUNTIMES_DIR;
    ProcessResult tsc =
        run_process({(modules / ".bin/node").string(), (modules / "typescript/bin/tsc").string(),
                     "-p", project_.string()});
    ASSERT_EQ(tsc.exit_status, 0) << tsc.out << tsc.err;
    ASSERT_TRUE(fs::exists(project_ / "app.js.map"));
  }

  // node running the compiled project, its inspector behind a forwarder.
  void start_node(const std::string& entry = "") {
    start_runtime("node", entry + "require(" + quoted((project_ / "app.js").string()) + ");\n");
  }
  void start_runtime(const std::string& runtime, const std::string& script) {
    node_ = std::make_unique<RuntimeInspector>(runtime, false, script);
    ASSERT_FALSE(node_->target().empty()) << node_->process().err();
    const std::string address = node_->address();
    forwarder_ = std::make_unique<RecordingForwarder>(
        static_cast<uint16_t>(std::stoi(address.substr(address.rfind(':') + 1))));
  }

  static std::string quoted(const std::string& text) { return "'" + text + "'"; }

  std::string xdotool(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "xdotool");
    return run_process(arguments, {{"DISPLAY", display_.name()}}).out;
  }

  // A dialog, not a tooltip: at least a few hundred pixels wide.
  bool wide(unsigned long window) {
    const std::string geometry = xdotool({"getwindowgeometry", std::to_string(window)});
    const size_t size = geometry.find("Geometry: ");
    return size != std::string::npos && std::atoi(geometry.c_str() + size + 10) >= 300;
  }

  // As a user does it: Quick Open on app.ts line 9, a click on that line's
  // number; the pause is on `script_line` of the running script.
  bool set_breakpoint_in_app_ts(int script_line = 2) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      xdotool({"mousemove", "400", "300", "click", "1"});
      xdotool({"key", "ctrl+p"});
      std::this_thread::sleep_for(1s);
      xdotool({"type", "app.ts:9"});
      std::this_thread::sleep_for(1500ms);
      xdotool({"key", "Return"});
      std::this_thread::sleep_for(2s);
      xdotool({"mousemove", "258", "168", "click", "1"});
      if (forwarder_->wait_for(
              [&](const std::string& r) { return paused_in(r, "norm", script_line); }, 5s)) {
        return true;
      }
    }
    return false;
  }

  // Breakpoint off, resumed; then a line typed after the last line of app.ts
  // and saved. What app.ts then holds.
  std::string save_an_edit_of_app_ts(const std::string& screenshot) {
    xdotool({"mousemove", "258", "168", "click", "1"});
    xdotool({"key", "F8"});
    std::this_thread::sleep_for(1s);
    xdotool({"mousemove", "420", "207", "click", "1"});
    xdotool({"key", "End"});
    xdotool({"type", "// saved from the window"});
    xdotool({"key", "ctrl+s"});
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (read_file(project_ / "app.ts").find("// saved from the window") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(200ms);
    }
    display_.screenshot(std::string(VORPEL_TEST_OUTPUT_DIR "/") + screenshot);
    return read_file(project_ / "app.ts");
  }

  // A dialog over the window, not a tooltip; 0 when none came.
  unsigned long dialog_over(unsigned long window) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < deadline) {
      unsigned long dialog = display_.find_dialog_of(window, 3s);
      if (dialog != 0 && wide(dialog)) return dialog;
      std::this_thread::sleep_for(500ms);
    }
    return 0;
  }

  void quick_open(const std::string& what) {
    xdotool({"mousemove", "400", "450", "click", "1"});
    xdotool({"key", "ctrl+p"});
    std::this_thread::sleep_for(1s);
    xdotool({"type", what});
    std::this_thread::sleep_for(1500ms);
    xdotool({"key", "Return"});
    std::this_thread::sleep_for(2s);
  }

  fs::path root_, project_, outside_;
  std::unique_ptr<RuntimeInspector> node_;
  std::unique_ptr<RecordingForwarder> forwarder_;
};

TEST_F(WorkspaceWindowTest, BreakpointInTypeScriptAndAnEditSavedToDisk) {
  ::chmod((project_ / "app.ts").c_str(), 0640);
  OpenWatch project_opens(project_.string());
  start_node();
  auto inspector = open_window({"--workspace", project_.string(), forwarder_->address()});
  ASSERT_TRUE(inspector->wait_for_output(kThirdLine, 20s)) << inspector->err();
  ASSERT_NE(display_.find_window(kWindowTitle, 20s), 0u) << inspector->err();
  // The frontend asked for the map beside the script, and the program read it.
  EXPECT_TRUE(project_opens.saw("app.js.map", 60s)) << inspector->err();

  ASSERT_TRUE(set_breakpoint_in_app_ts()) << "no pause on line 9 of app.ts";
  display_.screenshot(VORPEL_TEST_OUTPUT_DIR "/workspace_breakpoint.png");

  const std::string saved = save_an_edit_of_app_ts("workspace_saved.png");
  EXPECT_NE(saved.find("}\n// saved from the window\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("let ticks = 0;"), std::string::npos) << saved;
  EXPECT_EQ(fs::status(project_ / "app.ts").permissions(), fs::perms(0640));
  // Nothing but the project's own files is left: no temporary file beside them.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(project_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"app.js", "app.js.map", "app.ts", "tsconfig.json"}));
  close_window(*inspector);
}

// TypeScript run under its own name: Deno transpiles it and adds an inline
// map, node 24 and later blank its types in place. Either way the window
// shows and saves the file on disk, and a breakpoint set in it is hit.
class TypeScriptUnderItsOwnName : public WorkspaceWindowTest,
                                  public testing::WithParamInterface<const char*> {};

TEST_P(TypeScriptUnderItsOwnName, BreakpointHitAndTheEditSavedOverTheFile) {
  const std::string runtime = GetParam();
  if (!RuntimeInspector::installed(runtime)) GTEST_SKIP() << runtime << " is not installed";
  fs::remove(project_ / "app.js");
  fs::remove(project_ / "app.js.map");
  const std::string app = (project_ / "app.ts").string();
  start_runtime(runtime, runtime == "deno" ? "import " + quoted("file://" + app) + ";\n"
                                           : "require(" + quoted(app) + ");\n");
  auto inspector = open_window({"--workspace", project_.string(), forwarder_->address()});
  ASSERT_TRUE(inspector->wait_for_output(kThirdLine, 20s)) << inspector->err();
  ASSERT_NE(display_.find_window(kWindowTitle, 20s), 0u) << inspector->err();
  // Deno's transpiled line is another; node's is the file's own.
  ASSERT_TRUE(set_breakpoint_in_app_ts(runtime == "deno" ? -1 : 8)) << "no pause in app.ts";
  display_.screenshot(VORPEL_TEST_OUTPUT_DIR "/workspace_" + runtime + "_breakpoint.png");
  // Every line of the TypeScript is kept, with the edit on the empty line 12.
  std::string edited = kAppTs;
  edited.replace(edited.find("}\n\nlet"), 6, "}\n// saved from the window\nlet");
  EXPECT_EQ(save_an_edit_of_app_ts("workspace_" + runtime + "_saved.png"), edited);
  close_window(*inspector);
}

INSTANTIATE_TEST_SUITE_P(Runtimes, TypeScriptUnderItsOwnName,
                         testing::Values("deno", "node24", "node26"));

TEST_F(WorkspaceWindowTest, MapsOutsideTheWorkspaceAreNeverOpened) {
  // One map named by an absolute path elsewhere, one reached through a link
  // inside the workspace; both are valid maps the frontend would use.
  const std::string map = R"({"version":3,"sources":["x.ts"],"names":[],"mappings":"AAAA"})";
  std::ofstream(outside_ / "absolute.js.map") << map;
  std::ofstream(outside_ / "linked.js.map") << map;
  fs::create_directory_symlink(outside_, project_ / "maps");
  std::ofstream(project_ / "absolute.js") << "globalThis.a = 1;\n//# sourceMappingURL=file://"
                                          << (outside_ / "absolute.js.map").string() << "\n";
  std::ofstream(project_ / "linked.js")
      << "globalThis.b = 1;\n//# sourceMappingURL=maps/linked.js.map\n";
  OpenWatch outside_opens(outside_.string());
  OpenWatch project_opens(project_.string());
  start_node("require(" + quoted((project_ / "absolute.js").string()) + ");require(" +
             quoted((project_ / "linked.js").string()) + ");");
  auto inspector = open_window({"--workspace", project_.string(), forwarder_->address()});
  ASSERT_TRUE(inspector->wait_for_output(kThirdLine, 20s)) << inspector->err();
  // The map of the script parsed last is read; the two before it had their turn.
  ASSERT_TRUE(project_opens.saw("app.js.map", 60s)) << inspector->err();
  std::this_thread::sleep_for(3s);
  EXPECT_EQ(outside_opens.names(), std::vector<std::string>{});
  close_window(*inspector);
}

TEST_F(WorkspaceWindowTest, WithoutTheOptionNothingIsReadFromDisk) {
  OpenWatch project_opens(project_.string());
  start_node();
  auto inspector = open_window({forwarder_->address()});
  ASSERT_TRUE(inspector->wait_for_output(kThirdLine, 20s)) << inspector->err();
  ASSERT_TRUE(node_->process().wait_for_output("Debugger attached.", 60s)) << inspector->err();
  // Quick Open has no app.ts to go to, so the click sets nothing there.
  EXPECT_FALSE(set_breakpoint_in_app_ts());
  for (const std::string& name : project_opens.names()) {
    EXPECT_NE(name, "app.js.map");
    EXPECT_NE(name, "app.ts");
  }
  close_window(*inspector);
}

TEST_F(WorkspaceWindowTest, HeapSnapshotOfALargeHeapIsSavedWhole) {
  // About 400 000 heap nodes: tens of megabytes, sent in many chunks.
  start_node("globalThis.kept = Array.from({length: 200000}, (_, i) => ({i, s: 'x' + i}));");
  auto inspector = open_window({"--workspace", project_.string(), forwarder_->address()});
  ASSERT_TRUE(inspector->wait_for_output(kThirdLine, 20s)) << inspector->err();
  const unsigned long window = display_.find_window(kWindowTitle, 20s);
  ASSERT_NE(window, 0u) << inspector->err();
  ASSERT_TRUE(node_->process().wait_for_output("Debugger attached.", 60s)) << inspector->err();

  // The Memory panel's tab, then its "Take snapshot" button.
  xdotool({"mousemove", "176", "12", "click", "1"});
  std::this_thread::sleep_for(2s);
  xdotool({"mousemove", "275", "583", "click", "1"});
  // "Save profile" is enabled once the snapshot is shown; until then a click does nothing.
  unsigned long dialog = 0;
  const auto deadline = std::chrono::steady_clock::now() + 150s;
  while (dialog == 0 && std::chrono::steady_clock::now() < deadline) {
    // The pointer leaves the button, so its tooltip (a window of its own) goes.
    xdotool({"mousemove", "109", "40", "click", "1", "mousemove", "600", "450"});
    dialog = display_.find_dialog_of(window, 3s);
    if (dialog != 0 && !wide(dialog)) {
      dialog = 0;
      std::this_thread::sleep_for(1s);
    }
  }
  ASSERT_NE(dialog, 0u) << inspector->err();
  display_.screenshot(VORPEL_TEST_OUTPUT_DIR "/workspace_snapshot.png");
  ASSERT_TRUE(display_.key("Return", dialog));
  ASSERT_TRUE(display_.wait_closed(dialog, 30s));

  // Saved under the proposed name in the home folder once the stream closes.
  const fs::path home = fresh_["HOME"];
  auto saved_files = [&] {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(home)) {
      if (entry.path().filename().string().find("heapsnapshot") != std::string::npos) {
        found.push_back(entry.path());
      }
    }
    return found;
  };
  std::string text;
  const auto saved_by = std::chrono::steady_clock::now() + 60s;
  while (std::chrono::steady_clock::now() < saved_by) {
    auto found = saved_files();
    if (found.size() == 1 && found[0].filename().string().starts_with("Heap-")) {
      text = read_file(found[0]);
      break;
    }
    std::this_thread::sleep_for(200ms);
  }
  ASSERT_FALSE(text.empty()) << testing::PrintToString(saved_files());
  EXPECT_EQ(saved_files().size(), 1u) << "a temporary file was left";
  EXPECT_GT(text.size(), size_t{20} << 20);
  // Whole: it parses, holds as many nodes as its header says, and among them
  // the program's 200 000 objects, as the Summary view counts them.
  const nlohmann::json snapshot = nlohmann::json::parse(text, nullptr, false);
  ASSERT_FALSE(snapshot.is_discarded()) << "not JSON";
  const auto& meta = snapshot["snapshot"]["meta"];
  const auto& fields = meta["node_fields"];
  const size_t width = fields.size();
  ASSERT_GT(width, 1u);
  const auto& nodes = snapshot["nodes"];
  EXPECT_EQ(nodes.size(), snapshot["snapshot"]["node_count"].get<size_t>() * width);
  const size_t type_field = std::find(fields.begin(), fields.end(), "type") - fields.begin();
  const size_t name_field = std::find(fields.begin(), fields.end(), "name") - fields.begin();
  const auto& types = meta["node_types"][type_field];
  const auto& strings = snapshot["strings"];
  size_t objects = 0;
  for (size_t at = 0; at + width <= nodes.size(); at += width) {
    if (types[nodes[at + type_field].get<size_t>()] == "object" &&
        strings[nodes[at + name_field].get<size_t>()] == "Object") {
      ++objects;
    }
  }
  EXPECT_GE(objects, 200000u);
  close_window(*inspector);
}

TEST_F(WorkspaceWindowTest, SelectFolderAddsTheChosenFolderAndCancellingAddsNothing) {
  const fs::path extra = root_ / "extra";
  fs::create_directories(extra);
  std::ofstream(extra / "extra.ts") << "export const extra = 1;\n";
  OpenWatch extra_opens(extra.string());
  start_node();
  auto inspector = open_window({"--workspace", project_.string(), forwarder_->address()});
  ASSERT_TRUE(inspector->wait_for_output(kThirdLine, 20s)) << inspector->err();
  const unsigned long window = display_.find_window(kWindowTitle, 20s);
  ASSERT_NE(window, 0u) << inspector->err();
  ASSERT_TRUE(node_->process().wait_for_output("Debugger attached.", 60s)) << inspector->err();
  // The Sources panel, whose empty editor offers "Select folder".
  xdotool({"mousemove", "105", "12", "click", "1"});
  std::this_thread::sleep_for(2s);

  // A folder added is listed by the frontend at once; this one never is (the
  // dialog lists the folder it opens in, not the ones in it).
  extra_opens.forget();
  xdotool({"mousemove", "399", "251", "click", "1"});
  unsigned long dialog = dialog_over(window);
  ASSERT_NE(dialog, 0u) << "no folder dialog";
  ASSERT_TRUE(display_.key("Escape", dialog));
  ASSERT_TRUE(display_.wait_closed(dialog, 30s));
  EXPECT_FALSE(extra_opens.saw(".", 3s)) << "a cancelled choice gave the folder";

  // The dialog opens beside the workspace: typing finds the folder, Select takes it.
  xdotool({"mousemove", "399", "251", "click", "1"});
  dialog = dialog_over(window);
  ASSERT_NE(dialog, 0u) << "no folder dialog";
  xdotool({"mousemove", "600", "400"});
  xdotool({"type", "--delay", "150", "extra"});
  std::this_thread::sleep_for(1500ms);
  display_.screenshot(VORPEL_TEST_OUTPUT_DIR "/workspace_select_folder.png");
  extra_opens.forget();
  xdotool({"mousemove", "1046", "787", "click", "1"});
  ASSERT_TRUE(display_.wait_closed(dialog, 30s));
  EXPECT_TRUE(extra_opens.saw(".", 10s)) << "the chosen folder was not listed";
  extra_opens.forget();
  quick_open("extra.ts");
  EXPECT_TRUE(extra_opens.saw("extra.ts", 10s)) << "the chosen folder's file was not opened";
  display_.screenshot(VORPEL_TEST_OUTPUT_DIR "/workspace_added_folder.png");
  close_window(*inspector);
}

// Whether the window titled `above` is stacked over the one named `below`
// (xwininfo lists the top-most first).
bool stacked_over(const std::string& display, const std::string& above, const std::string& below) {
  const std::string tree =
      run_process({"xwininfo", "-root", "-children"}, {{"DISPLAY", display}}).out;
  const size_t top = tree.find("\"" + above + "\"");
  const size_t bottom = tree.find("\"" + below + "\"");
  return top != std::string::npos && bottom != std::string::npos && top < bottom;
}

TEST_F(WorkspaceWindowTest, APauseRaisesTheWindow) {
  // The program stops at a debugger statement once the test says so.
  const fs::path go = root_ / "go";
  start_node("setInterval(() => { if (require('fs').existsSync(" + quoted(go.string()) +
             ")) { debugger; } }, 100);");
  auto inspector = open_window({"--workspace", project_.string(), forwarder_->address()});
  ASSERT_TRUE(inspector->wait_for_output(kThirdLine, 20s)) << inspector->err();
  ASSERT_NE(display_.find_window(kWindowTitle, 20s), 0u) << inspector->err();
  // The frontend has the debugger on once the scripts are reported to it.
  ASSERT_TRUE(forwarder_->wait_for(
      [](const std::string& r) { return r.find("Debugger.scriptParsed") != std::string::npos; },
      60s));
  BackgroundProcess cover({"xmessage", "-geometry", "900x700+0+0", "covers the inspector"},
                          {{"DISPLAY", display_.name()}});
  ASSERT_NE(display_.find_window("xmessage", 20s), 0u);
  ASSERT_TRUE(stacked_over(display_.name(), "xmessage", kWindowTitle));

  std::ofstream(go) << "go";
  ASSERT_TRUE(forwarder_->wait_for(
      [](const std::string& r) { return r.find("\"Debugger.paused\"") != std::string::npos; },
      30s));
  bool raised = false;
  for (int i = 0; i < 50 && !raised; ++i) {
    raised = stacked_over(display_.name(), kWindowTitle, "xmessage");
    if (!raised) std::this_thread::sleep_for(100ms);
  }
  display_.screenshot(VORPEL_TEST_OUTPUT_DIR "/workspace_raised.png");
  EXPECT_TRUE(raised) << "the paused program's window stayed behind";
  cover.stop();
  close_window(*inspector);
}

}  // namespace
