// A long Console as a user reads it: 20,000 messages, scrolled back to the
// first, searched, with an object the user expanded before them. The window
// lets go of the elements of messages long off screen; nothing of it may show.
#include <gtest/gtest.h>

#include <signal.h>

#include <functional>
#include <thread>

#include "support/console_input.h"
#include "support/process_runner.h"
#include "support/window_fixture.h"

namespace {

using namespace std::chrono_literals;

// The first signal logs a message with an object whose preview hides its last
// property; the second logs 20,000 more, a thousand every 100 ms, one of them
// with a word no other message has (a search is made as the user types it).
constexpr const char* kProgram = R"js(
let signals = 0;
process.on('SIGUSR2', () => {
  if (signals++ === 0) {
    console.log('first-message', {a1: 1, a2: 2, a3: 3, a4: 4, a5: 5, a6: 6, secret: 'open-me'});
    return;
  }
  let n = 0;
  const burst = setInterval(() => {
    for (let i = 0; i < 1000; i++, n++) console.log(n === 12345 ? 'needle' : 'tick', n, {at: n});
    if (n >= 20000) clearInterval(burst);
  }, 100);
});
setInterval(() => {}, 1000);
)js";

// The first message's row in a Console that was empty, and its object's triangle.
constexpr int kFirstRowY = 68, kTriangleX = 133;

class ConsoleWindowTest : public WindowFixture {
 protected:
  // The text of the messages on screen, as the Console copies a selection of
  // them; the selection is dropped again.
  std::string copied_screen() {
    // From the top of the first row to the last row above the prompt.
    if (!display_.drag(20, 64, 700, 560) || !display_.key("ctrl+c")) return "";
    std::this_thread::sleep_for(300ms);
    const std::string text = clipboard_text(display_);
    display_.click(kConsoleX, 300);
    return text;
  }

  // Copies the screen until it shows `text`, after `move` each time.
  bool screen_shows(
      const std::string& text, std::chrono::seconds timeout,
      const std::function<bool()>& move = [] { return true; }) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
      if (!move()) return false;
      if (copied_screen().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(1s);
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
  }
};

TEST_F(ConsoleWindowTest, TwentyThousandMessagesScrolledBackSearchedAndStillExpanded) {
  NodeInspector node("--inspect", kProgram);
  ASSERT_FALSE(node.address().empty()) << node.process().err();
  auto inspector = open_window({node.address()});
  ASSERT_NE(display_.find_window(kWindowTitle, 30s), 0u) << inspector->err();
  ASSERT_TRUE(node.process().wait_for_output("Debugger attached.", 60s)) << inspector->err();

  // The user opens the first message's object with its triangle.
  ASSERT_EQ(kill(node.process().pid(), SIGUSR2), 0);
  ASSERT_TRUE(screen_shows("first-message", 30s));
  ASSERT_TRUE(display_.click(kTriangleX, kFirstRowY));
  ASSERT_TRUE(screen_shows("secret: \"open-me\"", 10s));

  ASSERT_EQ(kill(node.process().pid(), SIGUSR2), 0);
  // To the last message each time: a selection keeps the Console where it is.
  const auto to_the_last = [&] { return display_.click(kConsoleX, 300) && display_.key("End"); };
  ASSERT_TRUE(screen_shows("tick 19999 {at: 19999}", 120s, to_the_last)) << copied_screen();
  // Long enough off screen for the first messages to be let go.
  std::this_thread::sleep_for(10s);

  // Back at the first message, drawn again, the object still open.
  ASSERT_TRUE(display_.click(kConsoleX, 300));
  ASSERT_TRUE(display_.key("Home"));
  std::this_thread::sleep_for(1s);
  const std::string first = copied_screen();
  display_.screenshot(VORPEL_TEST_OUTPUT_DIR "/console_first_message.png");
  // The object has no preview when it came before the frontend asked for them.
  EXPECT_LT(first.find("first-message "), first.find("tick 0 {at: 0}\n")) << first;
  EXPECT_NE(first.find("secret: \"open-me\""), std::string::npos) << first;
  EXPECT_NE(first.find("tick 0 {at: 0}\n"), std::string::npos) << first;
  EXPECT_NE(first.find("tick 9 {at: 9}\n"), std::string::npos) << first;

  // A search finds a message that has long been off screen, and shows it.
  ASSERT_TRUE(display_.key("ctrl+f"));
  std::this_thread::sleep_for(500ms);
  ASSERT_TRUE(display_.type("needle"));
  ASSERT_TRUE(display_.key("Return"));
  // The match is shown at the top, a little up from the first row copied.
  const auto a_little_up = [&] { return display_.scroll(kConsoleX, 300, -1); };
  EXPECT_TRUE(screen_shows("needle 12345 {at: 12345}", 60s, a_little_up)) << copied_screen();
  display_.screenshot(VORPEL_TEST_OUTPUT_DIR "/console_search.png");
  close_window(*inspector);
}

}  // namespace
