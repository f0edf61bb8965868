// What a window run leaves on disk: with a fresh home and fresh XDG and
// temporary folders, the program writes only into its data folder, the
// frontend finds there what it kept in an earlier run, and nothing but the
// three lines reaches the standard streams.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "support/fresh_folders.h"
#include "support/process_runner.h"
#include "support/startup_text.h"
#include "support/window_fixture.h"
#include "support/x_display.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The Memory tab, and the "Take snapshot" button only the Memory panel shows,
// in the 800 x 600 window that sits at the top left of a display without a
// window manager.
constexpr int kMemoryTabX = 176, kMemoryTabY = 12;
constexpr ScreenArea kTakeSnapshotButton = {219, 578, 10, 12};
bool memory_panel_shown(Color color) {
  return color.blue > 0.6 && color.red < 0.3;  // blue, where other panels are white or grey
}
std::string describe(Color color) {
  return std::to_string(color.red) + " " + std::to_string(color.green) + " " +
         std::to_string(color.blue);
}

// What the program may leave besides its data folder: the dconf client's flag
// file in the session's runtime folder, which every GTK program maps.
std::vector<std::string> unexpected(const FreshFolders& fresh, const std::string& data_folder) {
  const std::string runtime = fresh["XDG_RUNTIME_DIR"];
  std::vector<std::string> left;
  for (const std::string& path : outside(fresh.written(), data_folder)) {
    if (path != runtime + "/dconf" && path != runtime + "/dconf/user") left.push_back(path);
  }
  return left;
}

// Until what the windows write has stood still this long: the frontend
// stores its settings in bursts, some a second after it attached.
constexpr auto kStoredQuiet = 1500ms;
constexpr auto kStoredTimeout = 30s;

// The first column of a query's first row, as Python's sqlite3 prints it, or
// its error.
std::string sqlite_answer(const std::string& database, const std::string& query) {
  ProcessResult run =
      run_process({"python3", "-c",
                   "import sqlite3, sys; "
                   "print(sqlite3.connect(sys.argv[1]).execute(sys.argv[2]).fetchone()[0])",
                   database, query});
  return run.out + run.err;
}

class NoFilesTest : public WindowFixture {
 protected:
  // One window on `node`, open and attached; the caller closes it.
  struct Run {
    std::unique_ptr<BackgroundProcess> inspector;
    unsigned long window = 0;
  };
  Run open_attached(NodeInspector& node) {
    Run run{open_window({node.address()})};
    run.window = display_.find_window(kWindowTitle, 30s);
    EXPECT_NE(run.window, 0u) << run.inspector->err();
    EXPECT_TRUE(node.process().wait_for_output("Debugger attached.", 90s)) << run.inspector->err();
    return run;
  }

  void close(Run& run, NodeInspector& node) {
    close_window(*run.inspector, run.window, 30s);
    EXPECT_EQ(run.inspector->out(), three_lines(node.target()));
  }

  // A window attached to a paused script, left to store what it stores,
  // then closed.
  void run_attached_window() {
    NodeInspector node("--inspect-brk", "let answer = 6 * 7;\nconsole.log(answer);\n");
    ASSERT_FALSE(node.address().empty()) << node.process().err();
    Run run = open_attached(node);
    ASSERT_NE(run.window, 0u);
    fresh_.wait_until_still(kStoredQuiet, kStoredTimeout);
    close(run, node);
  }
};

TEST_F(NoFilesTest, WindowRunWritesOnlyItsDataFolderAndStreamsClean) {
  // The frontend runs from the table and opens its WebSocket.
  run_attached_window();
  EXPECT_TRUE(unexpected(fresh_, fresh_.data_folder()).empty())
      << testing::PrintToString(unexpected(fresh_, fresh_.data_folder()));
  struct stat info {};
  ASSERT_EQ(stat(fresh_.data_folder().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(NoFilesTest, PanelChosenInOneRunIsShownInTheNext) {
  // Without a pause, which would bring the Sources panel forward by itself.
  const std::string shot = VORPEL_TEST_OUTPUT_DIR "/panel_test.png";
  {
    NodeInspector node;
    ASSERT_FALSE(node.address().empty()) << node.process().err();
    Run first = open_attached(node);
    ASSERT_NE(first.window, 0u);
    // Clicked until the panel shows: the tab strip may not be drawn yet.
    Color color;
    for (int attempt = 0; attempt < 8 && !memory_panel_shown(color); ++attempt) {
      ASSERT_TRUE(display_.click(kMemoryTabX, kMemoryTabY));
      color = display_.wait_for_color(shot, kTakeSnapshotButton, memory_panel_shown, 10s);
    }
    ASSERT_TRUE(memory_panel_shown(color)) << describe(color);
    close(first, node);
  }
  NodeInspector node;
  ASSERT_FALSE(node.address().empty()) << node.process().err();
  Run second = open_attached(node);
  ASSERT_NE(second.window, 0u);
  const Color color = display_.wait_for_color(shot, kTakeSnapshotButton, memory_panel_shown, 60s);
  EXPECT_TRUE(memory_panel_shown(color)) << describe(color);
  close(second, node);

  EXPECT_TRUE(unexpected(fresh_, fresh_.data_folder()).empty())
      << testing::PrintToString(unexpected(fresh_, fresh_.data_folder()));
}

TEST_F(NoFilesTest, TwoWindowsOnOneDataFolderBothWorkAndKeepItSound) {
  // Paused, so that each frontend brings Sources forward and stores that.
  const std::string script = "let answer = 6 * 7;\nconsole.log(answer);\n";
  NodeInspector first_node("--inspect-brk", script), second_node("--inspect-brk", script);
  ASSERT_FALSE(first_node.address().empty()) << first_node.process().err();
  ASSERT_FALSE(second_node.address().empty()) << second_node.process().err();
  auto first = open_window({first_node.address()});
  auto second = open_window({second_node.address()});
  EXPECT_TRUE(first_node.process().wait_for_output("Debugger attached.", 90s)) << first->err();
  EXPECT_TRUE(second_node.process().wait_for_output("Debugger attached.", 90s)) << second->err();
  fresh_.wait_until_still(kStoredQuiet, kStoredTimeout);  // both store their settings

  // Both windows have the same title; close every one of them.
  for (unsigned long window; (window = display_.find_window(kWindowTitle, 5s)) != 0;) {
    ASSERT_TRUE(display_.request_close(window));
    ASSERT_TRUE(display_.wait_closed(window, 30s));
  }
  EXPECT_EQ(first->wait_exit(30s), std::optional<int>(0));
  EXPECT_EQ(second->wait_exit(30s), std::optional<int>(0));
  EXPECT_EQ(first->out(), three_lines(first_node.target()));
  EXPECT_EQ(second->out(), three_lines(second_node.target()));
  EXPECT_EQ(first->err() + second->err(), "");

  // Every database in the folder passes SQLite's own check.
  std::vector<std::string> databases;
  for (const auto& entry : fs::recursive_directory_iterator(fresh_.data_folder())) {
    std::ifstream file(entry.path(), std::ios::binary);
    char magic[16] = {};
    if (entry.is_regular_file() && file.read(magic, sizeof magic) &&
        std::string(magic, sizeof magic) == std::string("SQLite format 3\0", 16)) {
      databases.push_back(entry.path().string());
    }
  }
  for (const std::string& database : databases) {
    EXPECT_EQ(sqlite_answer(database, "PRAGMA integrity_check"), "ok\n") << database;
  }
  // Each window kept its settings: WebKit lost both when two network
  // processes shared one database.
  for (const std::string& folder : {fresh_.data_folder(), fresh_.data_folder() + "/window-2"}) {
    const std::string store = folder + "/localstorage/devtools_localhost_0.localstorage";
    EXPECT_NE(sqlite_answer(store, "SELECT count(*) FROM ItemTable"), "0\n") << store;
  }
  EXPECT_TRUE(unexpected(fresh_, fresh_.data_folder()).empty())
      << testing::PrintToString(unexpected(fresh_, fresh_.data_folder()));
}

TEST_F(NoFilesTest, DataFolderThatCannotBeMadeLeavesTheWindowWorking) {
  // A file where the folder should be: nothing can be kept, and nothing is.
  const std::string in_the_way = fresh_.data_folder();
  std::ofstream(in_the_way) << "not a folder";
  run_attached_window();
  EXPECT_TRUE(unexpected(fresh_, in_the_way).empty())
      << testing::PrintToString(unexpected(fresh_, in_the_way));
  EXPECT_TRUE(fs::is_regular_file(in_the_way));
}

}  // namespace
