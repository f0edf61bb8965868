// --follow: the window stays on the inspector's first target while the
// inspected program restarts at the same address.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/console_input.h"
#include "support/frontend_screen.h"
#include "support/process_runner.h"
#include "support/runtime_inspector.h"
#include "support/startup_text.h"
#include "support/window_fixture.h"

namespace {

using namespace std::chrono_literals;

using FollowTest = WindowFixture;

TEST_F(FollowTest, ReattachesAfterEachRestart) {
  const uint16_t port = free_loopback_port();
  auto node = std::make_unique<RuntimeInspector>("node", false, kKeepAlive, port);
  const std::string first = node->target();
  ASSERT_FALSE(first.empty()) << node->process().err();
  auto inspector = open_window({"--follow", node->address()});
  ASSERT_TRUE(node->process().wait_for_output("Debugger attached.", 60s)) << inspector->err();
  std::string expected = target_lines(first);
  for (int restart = 0; restart < 3; ++restart) {
    node.reset();  // ends the process; the port is free again
    node = std::make_unique<RuntimeInspector>("node", false, kKeepAlive, port);
    const std::string target = node->target();
    ASSERT_FALSE(target.empty()) << node->process().err();
    EXPECT_TRUE(node->process().wait_for_output("Debugger attached.", 60s))
        << "restart " << restart << inspector->err();
    expected += (restart == 0 ? std::string(kThirdLine) : "") + target_lines(target);
    EXPECT_TRUE(inspector->wait_for_output(target_lines(target), 10s)) << inspector->out();
  }
  close_window(*inspector);
  EXPECT_EQ(inspector->out(), expected);
}

TEST_F(FollowTest, WithoutTheOptionARestartedProgramIsNotAttached) {
  const uint16_t port = free_loopback_port();
  auto node = std::make_unique<RuntimeInspector>("node", false, kKeepAlive, port);
  ASSERT_FALSE(node->target().empty());
  auto inspector = open_window({node->address()});
  ASSERT_TRUE(node->process().wait_for_output("Debugger attached.", 60s)) << inspector->err();
  node.reset();
  node = std::make_unique<RuntimeInspector>("node", false, kKeepAlive, port);
  ASSERT_FALSE(node->target().empty());
  // Following takes well under a second; this is many times that.
  EXPECT_FALSE(node->process().wait_for_output("Debugger attached.", 5s));
  close_window(*inspector);
  EXPECT_EQ(std::count(inspector->out().begin(), inspector->out().end(), '\n'), 3);
}

// A program whose function on line 3 writes the time to `beat` ten times a
// second: while the file stands still, the program is paused there.
class Heartbeat {
 public:
  Heartbeat() {
    char pattern[] = "/tmp/vorpel-beat-XXXXXX";
    folder_ = mkdtemp(pattern);
  }
  ~Heartbeat() { std::filesystem::remove_all(folder_); }

  std::string script() const {
    return "const fs = require('fs');\n"
           "function beat() {\n"
           "  fs.writeFileSync('" +
           (folder_ / "beat").string() +
           "', String(Date.now()));\n"
           "}\n"
           "setInterval(beat, 100);\n";
  }
  std::string read() const {
    std::ifstream in(folder_ / "beat");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // The beat changes (a program runs), then stands still for a second.
  bool runs_then_pauses(std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const std::string start = read();
    while (read() == start) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(50ms);
    }
    return pauses(deadline);
  }
  bool pauses(std::chrono::steady_clock::time_point deadline) const {
    std::string last = read();
    auto still_since = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(100ms);
      std::string now = read();
      if (now != last) {
        last = now;
        still_since = std::chrono::steady_clock::now();
      } else if (std::chrono::steady_clock::now() - still_since >= 1s) {
        return true;
      }
    }
    return false;
  }

 private:
  std::filesystem::path folder_;
};

// The number of line 3 in the editor's gutter (grey on white).
constexpr ScreenArea kLineThreeNumber = {252, 85, 12, 10};
bool grey_text(Color color) {
  return color.brightness() < 0.97 && std::abs(color.blue - color.red) < 0.05;
}

TEST_F(FollowTest, BreakpointSetBeforeAnEditPausesTheRestartedProgram) {
  Heartbeat heartbeat;
  RuntimeInspector node("node", false, heartbeat.script(), 0, {"--watch"});
  ASSERT_FALSE(node.target().empty()) << node.process().err();
  auto inspector = open_window({"--follow", node.address()});
  ASSERT_TRUE(node.process().wait_for_output("Debugger attached.", 60s)) << inspector->err();

  // As a user does it: open the script at line 3, click that line's number.
  // Each step waits until the frontend shows the previous one's result.
  auto xdotool = [&](std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "xdotool");
    run_process(arguments, {{"DISPLAY", display_.name()}});
  };
  const std::string shot = VORPEL_TEST_OUTPUT_DIR "/follow_steps.png";
  auto wait_for = [&](ScreenArea area, bool (*shown)(Color)) {
    display_.wait_for_color(shot, area, shown, 10s);
  };
  bool paused = false;
  for (int attempt = 0; attempt < 3 && !paused; ++attempt) {
    xdotool({"mousemove", "400", "300", "click", "1"});
    xdotool({"key", "ctrl+p"});
    wait_for(kBoxPrompt, bluish);
    xdotool({"type", "main.js:3"});
    wait_for(kBoxFirstMatch, bluish);
    xdotool({"key", "Return"});
    wait_for(kLineThreeNumber, grey_text);
    xdotool({"mousemove", "258", "90", "click", "1"});
    paused = heartbeat.pauses(std::chrono::steady_clock::now() + 5s);
  }
  ASSERT_TRUE(paused) << "no breakpoint could be set";
  display_.screenshot(VORPEL_TEST_OUTPUT_DIR "/follow_breakpoint.png");

  for (int edit = 1; edit <= 2; ++edit) {
    std::ofstream(node.script_path(), std::ios::app) << "// edit " << edit << "\n";
    EXPECT_TRUE(heartbeat.runs_then_pauses(60s)) << "edit " << edit << node.process().err();
  }
  display_.screenshot(VORPEL_TEST_OUTPUT_DIR "/follow_after_edits.png");
  close_window(*inspector);
  EXPECT_EQ(std::count(inspector->out().begin(), inspector->out().end(), '\n'), 3 + 2 * 2);
}

// workerd lists its worker as "main" in every run: only the inspector's
// absence in between tells a restarted workerd from the same one.
TEST_F(FollowTest, ReattachesARestartedWorkerdThatKeepsItsTarget) {
  ASSERT_TRUE(RuntimeInspector::installed("workerd"));
  const uint16_t port = free_loopback_port();
  auto workerd = std::make_unique<RuntimeInspector>("workerd", false,
                                                    "globalThis.generation = 'run-1';", port);
  const std::string target = workerd->target();
  auto inspector = open_window({"--follow", workerd->address()});
  // The Console evaluates in the program it is attached to.
  auto attached_to = [&](const std::string& generation, int attempts) {
    for (int attempt = 0; attempt < attempts; ++attempt) {
      if (!evaluate_in_console(display_, "copy(generation)")) return false;
      if (clipboard_holds(display_, generation, 3s)) return true;
    }
    return false;
  };
  ASSERT_TRUE(attached_to("run-1", 20)) << inspector->err() << workerd->process().err();

  workerd.reset();  // ends the process; the port is free again
  // Restarted as by hand: the watcher, polling twice a second, sees the
  // inspector gone (workerd itself is back within some 30 ms).
  std::this_thread::sleep_for(1500ms);
  workerd = std::make_unique<RuntimeInspector>("workerd", false, "globalThis.generation = 'run-2';",
                                               port);
  EXPECT_TRUE(inspector->wait_for_output(kThirdLine + target_lines(target), 30s))
      << inspector->out();
  EXPECT_TRUE(attached_to("run-2", 20)) << inspector->err() << workerd->process().err();
  display_.screenshot(VORPEL_TEST_OUTPUT_DIR "/follow_workerd.png");
  close_window(*inspector);
  EXPECT_EQ(inspector->out(), three_lines(target) + target_lines(target));
}

}  // namespace
