// The --workspace option at the process level: its folder is checked before
// discovery, and --print-url runs ignore it.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/loopback_server.h"
#include "support/process_runner.h"
#include "support/startup_text.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;

class WorkspaceOptionTest : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ / "folder");
    write_file(root_ / "file", "x");
  }
  std::string path(const char* name) const { return (root_ / name).string(); }

  TempFolder folder_{"vorpel-workspace-option"};
  fs::path root_ = folder_.path();
};

struct BadFolder {
  const char* name;
  const char* reason;
};

TEST_F(WorkspaceOptionTest, NotAFolderEndsBeforeDiscovery) {
  if (testing_windows_build()) GTEST_SKIP() << "POSIX paths and error texts";
  LoopbackServer server(
      LoopbackServer::respond(http_response("HTTP/1.1 200 OK", target_list_json("ws://h:1/a"))));
  const BadFolder cases[] = {
      {"missing", "No such file or directory (os error 2)"},
      {"file", "Not a directory (os error 20)"},
      {"file/below", "Not a directory (os error 20)"},
      {"", "No such file or directory (os error 2)"},
  };
  for (const BadFolder& c : cases) {
    const std::string folder = *c.name ? path(c.name) : std::string();
    for (const auto& arguments :
         std::vector<std::vector<std::string>>{{"--workspace", folder, server.address()},
                                               {server.address(), "--workspace=" + folder}}) {
      ProcessResult result = run_inspector(arguments);
      EXPECT_EQ(result.exit_status, 1);
      EXPECT_EQ(result.out, "");
      EXPECT_EQ(result.err, "Error: " + folder + " cannot be used as the workspace folder\n\n" +
                                "Caused by:\n    " + c.reason + "\n");
    }
  }
  EXPECT_EQ(server.connections(), 0);
}

TEST_F(WorkspaceOptionTest, MissingFolderOrAddress) {
  const std::string kUsage =
      "Error: usage: vorpel_inspector [--print-url] <inspector-http-addr e.g. 127.0.0.1:9229>\n";
  // The value is never taken for the address.
  ProcessResult result = run_inspector({"--workspace", "127.0.0.1:1"});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.err, kUsage);
  result = run_inspector({"127.0.0.1:1", "--workspace"});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.err, "Error: --workspace needs a folder\n");
}

TEST_F(WorkspaceOptionTest, PrintUrlIgnoresIt) {
  LoopbackServer server(
      LoopbackServer::respond(http_response("HTTP/1.1 200 OK", target_list_json("ws://h:1/a"))));
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {"--print-url", "--workspace", path("missing"), server.address()},
           {"--print-url", server.address(), "--workspace"},
           {"--workspace=" + path("folder"), "--print-url", server.address()}}) {
    ProcessResult result = run_inspector(arguments);
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(result.out, three_lines("h:1/a", default_frontend("h:1/a")));
    EXPECT_EQ(result.err, "");
  }
}

}  // namespace
