// The whole program as a user runs it: a real node target, the window under
// Xvfb, the frontend from the embedded table, and the close button.
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "support/fresh_folders.h"
#include "support/loopback_server.h"
#include "support/process_runner.h"
#include "support/renaming_inspector.h"
#include "support/startup_text.h"
#include "support/test_files.h"
#include "support/window_fixture.h"
#include "support/x_display.h"

namespace {

using namespace std::chrono_literals;

using WindowTest = WindowFixture;

TEST_F(WindowTest, ShowsFrontendConnectedToNodeAndClosesWithStatusZero) {
  NodeInspector node("--inspect-brk", "let answer = 6 * 7;\nconsole.log(answer);\n");
  ASSERT_FALSE(node.address().empty()) << node.process().err();

  auto inspector = open_window({node.address()});
  // The lines are readable while the window is still open.
  ASSERT_TRUE(inspector->wait_for_output(kThirdLine, 20s)) << inspector->err();
  EXPECT_EQ(inspector->out(), three_lines(node.target()));

  unsigned long window = display_.find_window(kWindowTitle, 20s);
  ASSERT_NE(window, 0u) << inspector->err();
  // The page came from the embedded table, ran, and opened the WebSocket.
  EXPECT_TRUE(node.process().wait_for_output("Debugger attached.", 60s)) << inspector->err();
  // Until the panels have painted (an unpainted window is a single colour).
  EXPECT_GT(display_.wait_for_detail(VORPEL_TEST_OUTPUT_DIR "/window_test.png", 0.05, 30s), 0.05);

  close_window(*inspector, window);
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
  auto inspector =
      open_window({node.address()},
                  {{"VORPEL_INSPECTOR_FRONTEND", "http://" + page.address() + path + "{ws}"}});
  ASSERT_NE(display_.find_window(kWindowTitle, 20s), 0u) << inspector->err();
  for (int i = 0; i < 200 && page.requests().empty(); ++i) std::this_thread::sleep_for(50ms);
  ASSERT_FALSE(page.requests().empty());
  const std::string request = page.requests().front();
  EXPECT_EQ(request.rfind("GET " + path + node.target() + " HTTP/1.1\r\n", 0), 0u) << request;
  EXPECT_NE(request.find("Host: " + page.address() + "\r\n"), std::string::npos) << request;
  inspector->stop();
}

TEST_F(WindowTest, StartAddressTheWebViewRefuses) {
  NodeInspector node;
  ASSERT_FALSE(node.address().empty());
  ProcessResult result =
      run_inspector({node.address()}, window_environment({{"VORPEL_INSPECTOR_FRONTEND", ""}}));
  EXPECT_EQ(result.exit_status, 1);
  const std::string expected =
      "Error: failed to create webview (is the WebKitGTK runtime installed?)\n\nCaused by:\n    ";
  EXPECT_EQ(result.err.rfind(expected, 0), 0u) << result.err;
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 4) << result.err;
  EXPECT_NE(result.out.find("vorpel_inspector: devtools   = \n"), std::string::npos);
}

// A page in place of the frontend with what the frontend does to leave the
// program: links to new windows, window.open, a link in the same window and a
// save as the frontend makes one (a blob behind a download link). Each control
// is a 200 x 100 box on a red page.
constexpr const char* kLinkPage = R"html(<!DOCTYPE html>
<html><head><style>
  body { margin: 0; background: #c00000; }
  a, button { position: absolute; display: block; width: 200px; height: 100px; top: 0; }
</style></head><body>
<a style="left: 0" target="_blank" href="ftp://example.invalid/ignored">ftp</a>
<a style="left: 200px" target="_blank" href="https://example.invalid/new-window">new window</a>
<button style="left: 400px" onclick="window.open('http://example.invalid/opened')">open</button>
<a style="left: 600px" href="https://example.invalid/same-window?a=1">same window</a>
<button style="top: 200px; left: 0" onclick="save()">save</button>
<script>
  let saves = 0;
  function save() {
    const link = document.createElement('a');
    link.download = ++saves === 1 ? 'first.cpuprofile' : 'second.cpuprofile';
    const blob = new Blob(['{"nodes":[],"save":' + saves + '}'], {type: 'text/plain'});
    link.href = URL.createObjectURL(blob);
    link.click();
  }
</script></body></html>)html";
constexpr int kControlY = 50;
constexpr int kIgnoredLinkX = 100, kNewWindowLinkX = 300, kWindowOpenX = 500, kSameWindowX = 700;
constexpr int kSaveX = 100, kSaveY = 250;
constexpr ScreenArea kPageBackground = {300, 450, 20, 20};
bool link_page_shown(Color color) {
  return color.red > 0.6 && color.green < 0.2 && color.blue < 0.2;
}

// The link page, served from loopback, in a window with folders of its own.
class LinkPageTest : public WindowFixture {
 protected:
  void SetUp() override {
    WindowFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    page_ = std::make_unique<LoopbackServer>([this](int fd) {
      record(LoopbackServer::read_request(fd));
      const std::string body = kLinkPage;
      LoopbackServer::send_text(fd,
                                "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                    std::to_string(body.size()) + "\r\n\r\n" + body);
    });
  }

  void record(const std::string& request) {
    std::lock_guard lock(mutex_);
    requests_.push_back(request.substr(0, request.find("\r\n")));
  }
  std::vector<std::string> requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }

  // Opens the window on the page and waits until it is drawn.
  void open(EnvironmentChanges extra = {}) {
    extra["VORPEL_INSPECTOR_FRONTEND"] = "http://" + page_->address() + "/page?ws={ws}";
    inspector_ = open_window({node_.address()}, std::move(extra));
    window_ = display_.find_window(kWindowTitle, 30s);
    ASSERT_NE(window_, 0u) << inspector_->err();
    const Color color = display_.wait_for_color(shot_, kPageBackground, link_page_shown, 60s);
    ASSERT_TRUE(link_page_shown(color)) << inspector_->err();
  }

  void close() { close_window(*inspector_, window_, 30s); }

  NodeInspector node_;
  std::mutex mutex_;
  std::vector<std::string> requests_;
  std::unique_ptr<LoopbackServer> page_;
  std::unique_ptr<BackgroundProcess> inspector_;
  unsigned long window_ = 0;
  const std::string shot_ = VORPEL_TEST_OUTPUT_DIR "/link_page_test.png";
};

TEST_F(LinkPageTest, WebLinksReachTheDefaultBrowserAndThePageStays) {
  // A stand-in browser, the default for web addresses (and ftp, so that a
  // link passed on by mistake would show) in the test's own XDG folders.
  const std::string opened = fresh_["HOME"] + "/opened.txt";
  const std::string browser = fresh_["HOME"] + "/browser.sh";
  std::ofstream(browser) << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << opened << "'\n";
  std::filesystem::permissions(browser, std::filesystem::perms::owner_all);
  std::filesystem::create_directories(fresh_["XDG_DATA_HOME"] + "/applications");
  std::ofstream(fresh_["XDG_DATA_HOME"] + "/applications/stand-in-browser.desktop")
      << "[Desktop Entry]\nType=Application\nName=Stand-in browser\nExec=" << browser
      << " %u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;x-scheme-handler/ftp;\n";
  std::ofstream(fresh_["XDG_CONFIG_HOME"] + "/mimeapps.list")
      << "[Default Applications]\n"
         "x-scheme-handler/http=stand-in-browser.desktop\n"
         "x-scheme-handler/https=stand-in-browser.desktop\n"
         "x-scheme-handler/ftp=stand-in-browser.desktop\n";
  open();

  // The ignored link first: had it been passed on, it would be the first line.
  for (int x : {kIgnoredLinkX, kNewWindowLinkX, kWindowOpenX, kSameWindowX}) {
    ASSERT_TRUE(display_.click(x, kControlY));
  }
  const std::string expected =
      "https://example.invalid/new-window\n"
      "http://example.invalid/opened\n"
      "https://example.invalid/same-window?a=1\n";
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (read_file(opened).size() < expected.size() &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_EQ(read_file(opened), expected);
  // Still the page, never reloaded or replaced by another.
  EXPECT_TRUE(
      link_page_shown(display_.wait_for_color(shot_, kPageBackground, link_page_shown, 5s)));
  EXPECT_EQ(requests(), std::vector<std::string>{"GET /page?ws=" + node_.target() + " HTTP/1.1"});
  close();
}

TEST_F(LinkPageTest, SaveAsksWhereAndCancelWritesNothing) {
  const std::string downloads = fresh_["HOME"] + "/Downloads";
  std::filesystem::create_directory(downloads);
  std::ofstream(fresh_["XDG_CONFIG_HOME"] + "/user-dirs.dirs")
      << "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n";
  open();

  // Cancelled: the dialog goes, nothing is written.
  ASSERT_TRUE(display_.click(kSaveX, kSaveY));
  unsigned long dialog = display_.find_dialog_of(window_, 60s);
  ASSERT_NE(dialog, 0u) << inspector_->err();
  ASSERT_TRUE(display_.request_close(dialog));
  ASSERT_TRUE(display_.wait_closed(dialog, 30s));

  // Accepted as proposed: the suggested name, in the Downloads folder.
  ASSERT_TRUE(display_.click(kSaveX, kSaveY));
  dialog = display_.find_dialog_of(window_, 60s);
  ASSERT_NE(dialog, 0u) << inspector_->err();
  ASSERT_TRUE(display_.key("Return", dialog));
  ASSERT_TRUE(display_.wait_closed(dialog, 30s));
  const std::string saved = downloads + "/second.cpuprofile";
  const std::string content = "{\"nodes\":[],\"save\":2}";
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (read_file(saved) != content && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_EQ(read_file(saved), content);
  close();

  // GTK's file dialog makes its bookmarks folder (empty) and lists an accepted
  // file among the recent ones, as in any GTK program; the rest is ours.
  std::vector<std::string> left;
  for (const std::string& path : outside(fresh_.written(), fresh_.data_folder())) {
    const bool expected = path == downloads || path == saved ||
                          path == fresh_["XDG_CONFIG_HOME"] + "/user-dirs.dirs" ||
                          path == fresh_["XDG_CONFIG_HOME"] + "/gtk-3.0" ||
                          path == fresh_["XDG_DATA_HOME"] + "/recently-used.xbel" ||
                          path.starts_with(fresh_["XDG_RUNTIME_DIR"] + "/dconf");
    if (!expected) left.push_back(path);
  }
  EXPECT_TRUE(left.empty()) << testing::PrintToString(left);
  EXPECT_TRUE(std::filesystem::is_empty(fresh_["XDG_CONFIG_HOME"] + "/gtk-3.0"));
}

TEST_F(WindowTest, FrontendFollowsTheDesktopsDarkOrLightStyle) {
  const std::pair<const char*, bool> cases[] = {{"Adwaita:dark", true}, {"Adwaita", false}};
  for (const auto& [theme, dark] : cases) {
    SCOPED_TRACE(theme);
    FreshFolders fresh;
    ASSERT_TRUE(fresh.ok());
    NodeInspector node("--inspect-brk", "let answer = 6 * 7;\n");
    ASSERT_FALSE(node.address().empty()) << node.process().err();
    auto inspector = open_window({node.address()}, fresh.environment({{"GTK_THEME", theme}}));
    unsigned long window = display_.find_window(kWindowTitle, 30s);
    ASSERT_NE(window, 0u) << inspector->err();
    ASSERT_TRUE(node.process().wait_for_output("Debugger attached.", 90s)) << inspector->err();
    // The whole window, once the frontend has drawn its panels (an unpainted
    // window is a single colour, black or white).
    const std::string shot = VORPEL_TEST_OUTPUT_DIR "/theme_test.png";
    double brightness = -1;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    for (bool drawn = false; !drawn && std::chrono::steady_clock::now() < deadline;) {
      const bool painted = display_.screenshot(shot) > 0.05;
      brightness = XDisplay::mean_color(shot, {0, 0, 800, 600}).brightness();
      drawn = painted && (dark ? brightness < 0.35 : brightness > 0.8);
      if (!drawn) std::this_thread::sleep_for(500ms);
    }
    EXPECT_TRUE(dark ? brightness < 0.35 : brightness > 0.8) << brightness;
    ASSERT_TRUE(display_.request_close(window));
    EXPECT_EQ(inspector->wait_exit(30s), std::optional<int>(0));
  }
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

// The environment of a program started now with `changes`, as a map.
std::map<std::string, std::string> environment_with(const EnvironmentChanges& changes) {
  std::map<std::string, std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const size_t equals = text.find('=');
    if (equals != std::string::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
  }
  for (const auto& [name, value] : changes) {
    if (value) {
      variables[name] = *value;
    } else {
      variables.erase(name);
    }
  }
  return variables;
}

std::map<std::string, std::string> read_environment(const std::string& path) {
  std::map<std::string, std::string> variables;
  std::istringstream lines(read_file(path));
  for (std::string line; std::getline(lines, line, '\0');) {
    const size_t equals = line.find('=');
    if (equals != std::string::npos) variables[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return variables;
}

TEST_F(LinkPageTest, BrowserFromALinkGetsTheUsersEnvironmentWithoutTheWindowsSettings) {
  // A stand-in browser that writes down its environment, whole or not at all.
  const std::string recorded = fresh_["HOME"] + "/environment";
  const std::string browser = fresh_["HOME"] + "/browser.sh";
  std::ofstream(browser) << "#!/bin/sh\nenv -0 > '" << recorded << ".part' && mv '" << recorded
                         << ".part' '" << recorded << "'\n";
  std::filesystem::permissions(browser, std::filesystem::perms::owner_all);
  std::filesystem::create_directories(fresh_["XDG_DATA_HOME"] + "/applications");
  std::ofstream(fresh_["XDG_DATA_HOME"] + "/applications/stand-in-browser.desktop")
      << "[Desktop Entry]\nType=Application\nName=Stand-in browser\nExec=" << browser
      << " %u\nMimeType=x-scheme-handler/https;\n";
  std::ofstream(fresh_["XDG_CONFIG_HOME"] + "/mimeapps.list")
      << "[Default Applications]\nx-scheme-handler/https=stand-in-browser.desktop\n";
  // What the shell and the desktop's launch add or replace, whoever starts a browser.
  const std::set<std::string> launcher = {"DESKTOP_STARTUP_ID",
                                          "GIO_LAUNCHED_DESKTOP_FILE",
                                          "GIO_LAUNCHED_DESKTOP_FILE_PID",
                                          "PWD",
                                          "OLDPWD",
                                          "SHLVL",
                                          "_"};

  struct Case {
    const char* what;
    EnvironmentChanges user;  // the user's own values for what the window tunes
  };
  const Case cases[] = {
      {"nothing of the user's", {}},
      {"the user's own values",
       {{"MESA_SHADER_CACHE_DISABLE", "false"},
        {"JSC_useDFGJIT", "true"},
        {"JSC_thresholdForJITSoon", "300"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(recorded);
    EnvironmentChanges changes = c.user;
    open(changes);
    ASSERT_TRUE(display_.click(kNewWindowLinkX, kControlY));
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!std::filesystem::exists(recorded) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(100ms);
    }
    close();
    ASSERT_TRUE(std::filesystem::exists(recorded));

    // The program's environment as this test gave it, variable for variable.
    changes["VORPEL_INSPECTOR_FRONTEND"] = "http://" + page_->address() + "/page?ws={ws}";
    const auto given = environment_with(window_environment(changes));
    const auto got = read_environment(recorded);
    std::vector<std::string> differences;
    for (const auto& [name, value] : got) {
      auto user = given.find(name);
      if ((user == given.end() || user->second != value) && launcher.count(name) == 0) {
        differences.push_back("set " + name + "=" + value);
      }
    }
    for (const auto& [name, value] : given) {
      if (got.count(name) == 0 && launcher.count(name) == 0) {
        differences.push_back("removed " + name);
      }
    }
    EXPECT_TRUE(differences.empty()) << testing::PrintToString(differences);
  }
}

TEST_F(WindowTest, FrontendConnectsToATargetWhosePathNeedsEncoding) {
  NodeInspector node;
  ASSERT_FALSE(node.address().empty()) << node.process().err();
  // Unescaped in the frontend's address, this would end the "ws" parameter,
  // turn on its WebRTC connection and read "+" as a space.
  const std::string path = "/x&rtc=true+%2F;a=b?c";
  RenamingInspector renamed(node.target(), path);
  auto inspector = open_window({renamed.address()});
  ASSERT_TRUE(inspector->wait_for_output(kThirdLine, 20s)) << inspector->err();
  EXPECT_EQ(inspector->out().substr(0, inspector->out().find('\n')),
            "vorpel_inspector: ws target  = " + renamed.address() + path);
  ASSERT_NE(display_.find_window(kWindowTitle, 20s), 0u) << inspector->err();
  EXPECT_TRUE(node.process().wait_for_output("Debugger attached.", 60s)) << inspector->err();
  EXPECT_EQ(renamed.handshakes(), std::vector<std::string>{path});
  close_window(*inspector);
}

TEST_F(WindowTest, FrontendReachesAWssTargetOverTls) {
  // The target's port keeps the first bytes of each connection: a TLS
  // handshake record starts with 0x16, a plain WebSocket handshake with "GET".
  std::mutex mutex;
  std::vector<std::string> openings;
  LoopbackServer endpoint([&](int fd) {
    char bytes[3] = {};
    size_t got = 0;
    while (got < sizeof bytes) {
      const ssize_t count = recv(fd, bytes + got, sizeof bytes - got, 0);
      if (count <= 0) break;
      got += static_cast<size_t>(count);
    }
    std::lock_guard lock(mutex);
    openings.emplace_back(bytes, got);
  });
  LoopbackServer list(LoopbackServer::respond(
      http_response("HTTP/1.0 200 OK", target_list_json("wss://" + endpoint.address() + "/t"))));
  auto inspector = open_window({list.address()});
  unsigned long window = display_.find_window(kWindowTitle, 20s);
  ASSERT_NE(window, 0u) << inspector->err();
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  for (bool opened = false; !opened && std::chrono::steady_clock::now() < deadline;) {
    std::this_thread::sleep_for(100ms);
    std::lock_guard lock(mutex);
    opened = !openings.empty();
  }
  {
    std::lock_guard lock(mutex);
    ASSERT_FALSE(openings.empty());
    EXPECT_EQ(openings.front().substr(0, 1), "\x16") << testing::PrintToString(openings);
  }
  ASSERT_TRUE(display_.request_close(window));
  EXPECT_EQ(inspector->wait_exit(20s), std::optional<int>(0));
}

}  // namespace
