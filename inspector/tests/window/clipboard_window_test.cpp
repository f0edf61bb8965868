// The desktop clipboard from the frontend's Console: what it copies reaches
// the clipboard, and what is on the clipboard can be pasted into it; the page
// of another frontend cannot read it.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>

#include "support/console_input.h"
#include "support/loopback_server.h"
#include "support/process_runner.h"
#include "support/window_fixture.h"

namespace {

using namespace std::chrono_literals;

// Text no earlier run can have left on a clipboard.
std::string fresh_text() {
  std::random_device random;
  std::string text = "vorpel-";
  for (int i = 0; i < 4; ++i) {
    char part[9];
    std::snprintf(part, sizeof part, "%08x", random());
    text += part;
  }
  return text;
}

class ClipboardTest : public WindowFixture {
 protected:
  void open_attached() {
    node_ = std::make_unique<NodeInspector>();
    ASSERT_FALSE(node_->address().empty()) << node_->process().err();
    inspector_ = open_window({node_->address()});
    ASSERT_NE(display_.find_window(kWindowTitle, 30s), 0u) << inspector_->err();
    ASSERT_TRUE(node_->process().wait_for_output("Debugger attached.", 60s)) << inspector_->err();
    // The Console may still be drawing: again until it evaluates what is typed.
    const std::string mark = fresh_["TMPDIR"] + "/evaluated";
    bool evaluates = false;
    for (int attempt = 0; attempt < 5 && !evaluates; ++attempt) {
      ASSERT_TRUE(evaluate_in_console(display_, "require('fs').writeFileSync('" + mark + "', '')"));
      for (int i = 0; i < 50 && !evaluates; ++i) {
        std::this_thread::sleep_for(100ms);
        evaluates = std::filesystem::exists(mark);
      }
    }
    ASSERT_TRUE(evaluates) << inspector_->err();
  }

  bool right_click(int x, int y) {
    return run_process({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "sleep",
                        "0.2", "click", "3"},
                       {{"DISPLAY", display_.name()}})
               .exit_status == 0;
  }

  // Puts `text` on the clipboard; the owner stays until the test ends or
  // another program takes the clipboard.
  void offer_on_clipboard(const std::string& text) {
    const std::string file = fresh_["TMPDIR"] + "/clipboard.txt";
    std::ofstream(file) << text;
    // xclip gives up at once when its display connection fails for a moment,
    // as any client's can here (a CI run saw no owner for 10 s): start it again
    // rather than wait on nobody.
    for (int attempt = 0; attempt < 3; ++attempt) {
      owner_ = std::make_unique<BackgroundProcess>(
          std::vector<std::string>{"xclip", "-quiet", "-selection", "clipboard", "-i", file},
          EnvironmentChanges{{"DISPLAY", display_.name()}});
      if (clipboard_holds(display_, text, 5s)) return;
      if (!owner_->wait_exit(0ms)) owner_->stop();
    }
    FAIL() << "nothing offered the text on the clipboard: " << owner_->err();
  }

  std::unique_ptr<NodeInspector> node_;
  std::unique_ptr<BackgroundProcess> inspector_;
  std::unique_ptr<BackgroundProcess> owner_;
};

TEST_F(ClipboardTest, CopiesFromTheConsoleReachTheClipboard) {
  open_attached();
  struct Case {
    const char* what;
    std::string expression;  // evaluated in the Console; holds `text`
    std::string text;
    bool from_context_menu;  // "Copy object", the first item of the result's menu
  };
  const std::string copied = fresh_text(), object_text = fresh_text();
  const Case cases[] = {
      {"copy()", "copy(\"" + copied + "\")", copied, false},
      {"Copy object", "({k: \"" + object_text + "\"})", object_text, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(evaluate_in_console(display_, c.expression));
    if (c.from_context_menu) {
      std::this_thread::sleep_for(1s);  // the result is drawn
      ASSERT_TRUE(right_click(kFirstResultX, kFirstResultY));
      std::this_thread::sleep_for(500ms);  // the menu is drawn
      ASSERT_TRUE(display_.key("Down"));
      ASSERT_TRUE(display_.key("Return"));
    }
    const bool reached = clipboard_holds(display_, c.text, 10s);
    display_.screenshot(VORPEL_TEST_OUTPUT_DIR "/clipboard_copy.png");
    EXPECT_TRUE(reached) << "clipboard: " << clipboard_text(display_);
  }
  close_window(*inspector_);
}

TEST_F(ClipboardTest, PasteIntoTheConsoleIsEvaluated) {
  open_attached();
  // Evaluated, the pasted text copies something else than itself.
  const std::string text = fresh_text();
  std::string upper = text;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  offer_on_clipboard("copy(\"" + text + "\".toUpperCase())");
  ASSERT_TRUE(clear_console(display_));
  // A fresh data folder: the frontend first asks the user to allow pasting.
  ASSERT_TRUE(display_.key("ctrl+v"));
  std::this_thread::sleep_for(500ms);  // the warning is drawn
  ASSERT_TRUE(display_.type("allow pasting"));
  ASSERT_TRUE(display_.key("Return"));
  ASSERT_TRUE(display_.key("ctrl+v"));
  ASSERT_TRUE(display_.key("Return"));
  const bool evaluated = clipboard_holds(display_, upper, 10s);
  display_.screenshot(VORPEL_TEST_OUTPUT_DIR "/clipboard_paste.png");
  EXPECT_TRUE(evaluated) << "clipboard: " << clipboard_text(display_);
  close_window(*inspector_);
}

// A page in place of the frontend that tries both ways a script reads the
// clipboard, and reports what it got.
constexpr const char* kReadingPage = R"html(<!DOCTYPE html>
<html><body><textarea id="t"></textarea><script>
  const t = document.getElementById('t');
  t.focus();
  const pasted = document.execCommand('paste') ? t.value : '';
  const report = (read) =>
      fetch('/read?' + new URLSearchParams({pasted, read}), {method: 'POST'});
  navigator.clipboard.readText().then(report, () => report(''));
</script></body></html>)html";

TEST_F(ClipboardTest, AnotherFrontendCannotReadTheClipboard) {
  const std::string secret = fresh_text();
  offer_on_clipboard(secret);
  std::mutex mutex;
  std::vector<std::string> reports;
  LoopbackServer page([&](int fd) {
    const std::string request = LoopbackServer::read_request(fd);
    if (request.starts_with("POST /read?")) {
      std::lock_guard lock(mutex);
      reports.push_back(request.substr(0, request.find(' ', 5)));
    }
    const std::string body = request.starts_with("GET /page") ? kReadingPage : "";
    LoopbackServer::send_text(fd, "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                      std::to_string(body.size()) + "\r\n\r\n" + body);
  });
  NodeInspector node;
  ASSERT_FALSE(node.address().empty()) << node.process().err();
  auto inspector =
      open_window({node.address()},
                  {{"VORPEL_INSPECTOR_FRONTEND", "http://" + page.address() + "/page?ws={ws}"}});
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  for (bool reported = false; !reported && std::chrono::steady_clock::now() < deadline;) {
    std::this_thread::sleep_for(100ms);
    std::lock_guard lock(mutex);
    reported = !reports.empty();
  }
  std::lock_guard lock(mutex);
  EXPECT_EQ(reports, std::vector<std::string>{"POST /read?pasted=&read="});
  close_window(*inspector);
}

}  // namespace
