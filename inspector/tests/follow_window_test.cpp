// --follow: the window stays on the inspector's first target while the
// inspected program restarts at the same address.
#include <gtest/gtest.h>

#include <thread>

#include "support/process_runner.h"
#include "support/runtime_inspector.h"
#include "support/x_display.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kTitle = "vorpel \xE2\x80\x94 script inspector";
constexpr const char* kThirdLineText =
    "vorpel_inspector: (frontend is embedded; override with VORPEL_INSPECTOR_FRONTEND)\n";

std::string target_lines(const std::string& target) {
  return "vorpel_inspector: ws target  = " + target +
         "\nvorpel_inspector: devtools   = http://devtools.localhost/js_app.html?ws=" + target +
         "&experiments=true&v8only=true\n";
}

class FollowTest : public testing::Test {
 protected:
  void SetUp() override {
    if (display_.name().empty()) GTEST_SKIP() << "Xvfb could not start";
  }

  std::unique_ptr<BackgroundProcess> open_window(std::vector<std::string> arguments) {
    std::vector<std::string> argv = inspector_command();
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return std::make_unique<BackgroundProcess>(
        argv, EnvironmentChanges{{"DISPLAY", display_.name()},
                                 {"DBUS_SESSION_BUS_ADDRESS", "disabled:"},
                                 {"LANG", "C.UTF-8"},
                                 {"LC_ALL", std::nullopt},
                                 {"VORPEL_INSPECTOR_FRONTEND", std::nullopt}});
  }

  void close_window(BackgroundProcess& inspector) {
    unsigned long window = display_.find_window(kTitle, 20s);
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(display_.request_close(window));
    EXPECT_EQ(inspector.wait_exit(20s), std::optional<int>(0));
    EXPECT_EQ(inspector.err(), "");
  }

  XDisplay display_;
};

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
    expected += (restart == 0 ? std::string(kThirdLineText) : "") + target_lines(target);
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

}  // namespace
