// The whole program as a user runs it: a real node target, the window under
// Xvfb, the frontend from the embedded table, and the close button.
#include <gtest/gtest.h>

#include <thread>

#include "support/loopback_server.h"
#include "support/process_runner.h"
#include "support/x_display.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kTitle = "vorpel \xE2\x80\x94 script inspector";
constexpr const char* kThirdLine =
    "vorpel_inspector: (frontend is embedded; override with VORPEL_INSPECTOR_FRONTEND)\n";

class WindowTest : public testing::Test {
 protected:
  void SetUp() override {
    if (display_.name().empty()) GTEST_SKIP() << "Xvfb could not start";
  }

  EnvironmentChanges environment(EnvironmentChanges extra = {}) {
    extra["DISPLAY"] = display_.name();
    extra["DBUS_SESSION_BUS_ADDRESS"] = "disabled:";
    extra.try_emplace("LANG", "C.UTF-8");
    extra.try_emplace("LC_ALL", std::nullopt);
    extra.try_emplace("VORPEL_INSPECTOR_FRONTEND", std::nullopt);
    return extra;
  }

  std::vector<std::string> command(const std::string& address) {
    std::vector<std::string> argv = inspector_command();
    argv.push_back(address);
    return argv;
  }

  XDisplay display_;
};

TEST_F(WindowTest, ShowsFrontendConnectedToNodeAndClosesWithStatusZero) {
  NodeInspector node("--inspect-brk", "let answer = 6 * 7;\nconsole.log(answer);\n");
  ASSERT_FALSE(node.address().empty()) << node.process().err();

  BackgroundProcess inspector(command(node.address()), environment());
  // The lines are readable while the window is still open.
  ASSERT_TRUE(inspector.wait_for_output(kThirdLine, 20s)) << inspector.err();
  EXPECT_EQ(inspector.out(),
            "vorpel_inspector: ws target  = " + node.target() +
                "\nvorpel_inspector: devtools   = http://devtools.localhost/js_app.html?ws=" +
                node.target() + "&experiments=true&v8only=true\n" + kThirdLine);

  unsigned long window = display_.find_window(kTitle, 20s);
  ASSERT_NE(window, 0u) << inspector.err();
  // The page came from the embedded table, ran, and opened the WebSocket.
  EXPECT_TRUE(node.process().wait_for_output("Debugger attached.", 60s)) << inspector.err();
  std::this_thread::sleep_for(3s);  // let the panels paint
  EXPECT_GT(display_.screenshot(VORPEL_TEST_OUTPUT_DIR "/window_test.png"), 0.05);

  ASSERT_TRUE(display_.request_close(window));
  EXPECT_EQ(inspector.wait_exit(20s), std::optional<int>(0));
  EXPECT_EQ(inspector.err(), "");
}

TEST_F(WindowTest, OverrideAddressIsOpenedUnchanged) {
  NodeInspector node;
  ASSERT_FALSE(node.address().empty());
  LoopbackServer* self = nullptr;
  LoopbackServer page([&self](int fd) {
    while (self == nullptr) std::this_thread::sleep_for(1ms);
    self->record_request(LoopbackServer::read_request(fd));
    LoopbackServer::send_text(fd,
                              "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n"
                              "<html><body>served by the test</body></html>");
  });
  self = &page;
  const std::string path = "/frontend/app.html?ws=";
  BackgroundProcess inspector(
      command(node.address()),
      environment({{"VORPEL_INSPECTOR_FRONTEND", "http://" + page.address() + path + "{ws}"}}));
  ASSERT_NE(display_.find_window(kTitle, 20s), 0u) << inspector.err();
  for (int i = 0; i < 200 && page.requests().empty(); ++i) std::this_thread::sleep_for(50ms);
  ASSERT_FALSE(page.requests().empty());
  const std::string request = page.requests().front();
  EXPECT_EQ(request.rfind("GET " + path + node.target() + " HTTP/1.1\r\n", 0), 0u) << request;
  EXPECT_NE(request.find("Host: " + page.address() + "\r\n"), std::string::npos) << request;
  inspector.stop();
}

TEST_F(WindowTest, StartAddressTheWebViewRefuses) {
  NodeInspector node;
  ASSERT_FALSE(node.address().empty());
  ProcessResult result =
      run_inspector({node.address()}, environment({{"VORPEL_INSPECTOR_FRONTEND", ""}}));
  EXPECT_EQ(result.exit_status, 1);
  const std::string expected =
      "Error: failed to create webview (is the WebKitGTK runtime installed?)\n\nCaused by:\n    ";
  EXPECT_EQ(result.err.rfind(expected, 0), 0u) << result.err;
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 4) << result.err;
  EXPECT_NE(result.out.find("vorpel_inspector: devtools   = \n"), std::string::npos);
}

TEST(WindowWithoutDisplayTest, ReportsWindowError) {
  NodeInspector node;
  ASSERT_FALSE(node.address().empty());
  ProcessResult result =
      run_inspector({node.address()}, {{"DISPLAY", std::nullopt},
                                       {"WAYLAND_DISPLAY", std::nullopt},
                                       {"DBUS_SESSION_BUS_ADDRESS", "disabled:"}});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.err.rfind("Error: failed to create inspector window\n\nCaused by:\n    ", 0), 0u)
      << result.err;
  EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 3);
}

}  // namespace
