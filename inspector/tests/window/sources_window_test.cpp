// The Sources panel with a large minified script, driven as a user does: the
// pretty-printed file scrolls to its end and stops there. The code editor
// that outgrows its panel gives itself as much space after the last line as
// it is tall, so the view scrolls on past the end into an empty editor.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/frontend_screen.h"
#include "support/process_runner.h"
#include "support/window_fixture.h"

namespace {

using namespace std::chrono_literals;

// The Sources tab, underlined when shown.
constexpr ScreenArea kSourcesTab = {75, 24, 60, 3};
// The editor beside the navigator: a point in its text, the line number of
// its top row, its rows below that (left of the scrollbar), and the lower half
// of its gutter, where a pretty-printed script shows a dash for each line.
constexpr int kEditorX = 400, kEditorY = 300;
constexpr ScreenArea kTopLineNumber = {254, 57, 20, 14};
constexpr ScreenArea kRowsBelow = {230, 100, 330, 465};
constexpr ScreenArea kLowerGutter = {258, 285, 14, 280};

bool underlined(Color color) {
  return color.blue - color.red > 0.3;
}
bool has_text(Color color) {
  return color.brightness() < 0.99;
}
bool dashes(Color color) {
  return color.brightness() < 0.996;
}
bool blank(Color color) {
  return color.brightness() > 0.998;
}

// One line of small functions, as a minifier leaves a bundle: about 300 KB,
// some 30,000 lines once pretty-printed.
std::string minified_bundle() {
  std::ostringstream text;
  for (int i = 0; text.tellp() < 300 * 1024; ++i) {
    text << "function f" << i << "(a,b){var c=a*" << i << "+b;if(c>" << i << ")return c-" << i
         << ";for(var d=0;d<3;d++)c+=d;return c}";
  }
  text << "module.exports=f0;\n";
  return text.str();
}

class SourcesWindowTest : public WindowFixture {
 protected:
  bool shows(ScreenArea area, bool (*accept)(Color), std::chrono::milliseconds timeout) {
    const Color color = display_.wait_for_color(shot_, area, accept, timeout);
    return color.red >= 0 && accept(color);
  }

  // The command or quick-open box (`keys`), `query` typed, its first match taken.
  bool choose(const std::string& keys, const std::string& query) {
    bool open = false;
    // The frontend may still be starting: the keys once more if no box came.
    for (int attempt = 0; attempt < 3 && !open; ++attempt) {
      open = display_.key(keys) && shows(kBoxPrompt, bluish, 10s);
    }
    return open && display_.type(query) && shows(kBoxFirstMatch, bluish, 10s) &&
           display_.key("Return");
  }

  bool wheel_down(int clicks) {
    return run_process(
               {"xdotool", "click", "--repeat", std::to_string(clicks), "--delay", "20", "5"},
               {{"DISPLAY", display_.name()}})
               .exit_status == 0;
  }

  const std::string shot_ = VORPEL_TEST_OUTPUT_DIR "/sources_steps.png";
};

TEST_F(SourcesWindowTest, LargeMinifiedScriptScrollsToItsEndAndStopsThere) {
  const std::string bundle = fresh_["TMPDIR"] + "/bundle.min.js";
  std::ofstream(bundle) << minified_bundle();
  NodeInspector node("--inspect", "require('" + bundle + "'); setInterval(() => {}, 1000)");
  ASSERT_FALSE(node.address().empty()) << node.process().err();
  auto inspector = open_window({node.address()});
  ASSERT_NE(display_.find_window(kWindowTitle, 30s), 0u) << inspector->err();
  ASSERT_TRUE(node.process().wait_for_output("Debugger attached.", 60s)) << inspector->err();

  // Without a window manager the keys go to the window under the pointer.
  ASSERT_TRUE(display_.click(kEditorX, kEditorY));
  ASSERT_TRUE(choose("ctrl+shift+p", "Show Sources")) << "no command box";
  ASSERT_TRUE(shows(kSourcesTab, underlined, 10s)) << "Sources not shown";
  ASSERT_TRUE(choose("ctrl+p", "bundle.min.js")) << "no quick-open box";
  // Before it is pretty-printed the script is one line, the gutter below empty.
  ASSERT_TRUE(shows(kLowerGutter, dashes, 30s)) << "the bundle is not shown pretty-printed";

  // Scrolled down from the last line, the editor stops when that line is on
  // top: twice in a row, so that a view passing by does not count. Ctrl+End
  // each time: a key the editor missed would leave the view near the top.
  ASSERT_TRUE(display_.click(kEditorX, kEditorY));
  const std::string past_end = VORPEL_TEST_OUTPUT_DIR "/sources_past_end.png";
  Color number, below;
  int stopped = 0;
  for (const auto deadline = std::chrono::steady_clock::now() + 60s;
       stopped < 2 && std::chrono::steady_clock::now() < deadline;) {
    ASSERT_TRUE(display_.key("ctrl+End"));
    ASSERT_TRUE(wheel_down(20));
    std::this_thread::sleep_for(500ms);  // the wheel's scroll is drawn
    display_.screenshot(past_end);
    number = XDisplay::mean_color(past_end, kTopLineNumber);
    below = XDisplay::mean_color(past_end, kRowsBelow);
    stopped = has_text(number) && blank(below) ? stopped + 1 : 0;
  }
  EXPECT_EQ(stopped, 2) << "brightness of the top row's number " << number.brightness()
                        << ", of the rows below " << below.brightness() << " (1: empty); see "
                        << past_end;
  close_window(*inspector);
}

}  // namespace
