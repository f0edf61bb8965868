// The program keeps no state: a whole window run against a real node, with a
// fresh home and fresh XDG and temporary folders, leaves every one of them empty
// and writes nothing to the standard streams but the three lines.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "support/process_runner.h"
#include "support/x_display.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* kTitle = "vorpel \xE2\x80\x94 script inspector";

// Every path below `root`, for the failure message.
std::vector<std::string> everything_under(const fs::path& root) {
  std::vector<std::string> found;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    found.push_back(it->path().string());
  }
  return found;
}

class FreshFolders {
 public:
  FreshFolders() {
    char base[] = "/tmp/vorpel-no-files-XXXXXX";
    if (mkdtemp(base) == nullptr) return;
    root_ = base;
    for (const char* variable : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                                 "XDG_STATE_HOME", "XDG_RUNTIME_DIR", "TMPDIR"}) {
      const fs::path folder = root_ / variable;
      fs::create_directory(folder);
      chmod(folder.c_str(), 0700);  // what XDG_RUNTIME_DIR must be; harmless for the rest
      folders_[variable] = folder.string();
    }
  }
  ~FreshFolders() {
    std::error_code ignored;
    if (!root_.empty()) fs::remove_all(root_, ignored);
  }

  bool ok() const { return !root_.empty(); }
  const std::map<std::string, std::string>& folders() const { return folders_; }
  std::vector<std::string> contents() const { return everything_under(root_); }

 private:
  fs::path root_;
  std::map<std::string, std::string> folders_;
};

TEST(NoFilesTest, WindowRunLeavesFreshFoldersEmptyAndStreamsClean) {
  XDisplay display;
  if (display.name().empty()) GTEST_SKIP() << "Xvfb could not start";
  FreshFolders fresh;
  ASSERT_TRUE(fresh.ok());

  NodeInspector node("--inspect-brk", "let answer = 6 * 7;\nconsole.log(answer);\n");
  ASSERT_FALSE(node.address().empty()) << node.process().err();

  EnvironmentChanges environment = {{"DISPLAY", display.name()},
                                    {"DBUS_SESSION_BUS_ADDRESS", "disabled:"},
                                    {"LANG", "C.UTF-8"},
                                    {"LC_ALL", std::nullopt},
                                    {"VORPEL_INSPECTOR_FRONTEND", std::nullopt}};
  for (const auto& [variable, folder] : fresh.folders()) environment[variable] = folder;
  std::vector<std::string> argv = inspector_command();
  argv.push_back(node.address());
  BackgroundProcess inspector(argv, environment);

  unsigned long window = display.find_window(kTitle, 20s);
  ASSERT_NE(window, 0u) << inspector.err();
  // The frontend ran from the table and opened its WebSocket; give it time to settle.
  ASSERT_TRUE(node.process().wait_for_output("Debugger attached.", 60s)) << inspector.err();
  std::this_thread::sleep_for(3s);
  ASSERT_TRUE(display.request_close(window));
  EXPECT_EQ(inspector.wait_exit(20s), std::optional<int>(0));

  const std::string target = node.target();
  EXPECT_EQ(
      inspector.out(),
      "vorpel_inspector: ws target  = " + target +
          "\nvorpel_inspector: devtools   = http://devtools.localhost/js_app.html?ws=" + target +
          "&experiments=true&v8only=true\n"
          "vorpel_inspector: (frontend is embedded; override with "
          "VORPEL_INSPECTOR_FRONTEND)\n");
  EXPECT_EQ(inspector.err(), "");

  std::vector<std::string> written;
  for (const std::string& path : fresh.contents()) {
    // The folders themselves are ours; anything inside them is the program's.
    bool ours = false;
    for (const auto& [variable, folder] : fresh.folders()) ours = ours || path == folder;
    if (!ours) written.push_back(path);
  }
  EXPECT_TRUE(written.empty()) << "written: " << testing::PrintToString(written);
}

}  // namespace
