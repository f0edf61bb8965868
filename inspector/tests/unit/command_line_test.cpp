#include "command_line.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  std::vector<std::string> arguments;
  bool print_url;
  std::optional<std::string> address;
  bool follow = false;
  bool help = false;
};

TEST(CommandLineTest, Rules) {
  const Case cases[] = {
      {{}, false, std::nullopt},
      {{"--print-url"}, true, std::nullopt},
      {{"--print-url", "127.0.0.1:9229"}, true, "127.0.0.1:9229"},
      {{"127.0.0.1:9229", "--print-url"}, true, "127.0.0.1:9229"},
      {{"--verbose", "127.0.0.1:9229"}, false, "127.0.0.1:9229"},
      {{"--", "--x", "a:1"}, false, "a:1"},
      {{"-v", "127.0.0.1:9229"}, false, "-v"},
      {{"-", "a:1"}, false, "-"},
      {{"", "a:1"}, false, ""},
      {{"a:1", "b:2"}, false, "a:1"},
      {{"--PRINT-URL", "a:1"}, false, "a:1"},
      {{"--print-url=yes"}, false, std::nullopt},
      {{"a:1", "--print-url", "--print-url"}, true, "a:1"},
      {{"--follow", "a:1"}, false, "a:1", true},
      {{"a:1", "--print-url", "--follow"}, true, "a:1", true},
      {{"--follow"}, false, std::nullopt, true},
      {{"--follow=1", "--Follow", "a:1"}, false, "a:1", false},
      {{"--help"}, false, std::nullopt, false, true},
      {{"a:1", "--print-url", "--help"}, true, "a:1", false, true},
      {{"--help=1", "-h", "a:1"}, false, "-h", false, false},
  };
  for (const Case& c : cases) {
    CommandLine parsed = parse_command_line(c.arguments);
    EXPECT_EQ(parsed.print_url, c.print_url) << testing::PrintToString(c.arguments);
    EXPECT_EQ(parsed.inspector_address, c.address) << testing::PrintToString(c.arguments);
    EXPECT_EQ(parsed.follow, c.follow) << testing::PrintToString(c.arguments);
    EXPECT_EQ(parsed.help, c.help) << testing::PrintToString(c.arguments);
  }
}

}  // namespace

namespace {

struct WorkspaceCase {
  std::vector<std::string> arguments;
  std::optional<std::string> workspace;
  std::optional<std::string> address;
  bool without_folder = false;
};

TEST(CommandLineTest, WorkspaceFolder) {
  const WorkspaceCase cases[] = {
      {{"--workspace", "/w", "a:1"}, "/w", "a:1"},
      {{"a:1", "--workspace", "/w"}, "/w", "a:1"},
      {{"--workspace=/w", "a:1"}, "/w", "a:1"},
      {{"--workspace=", "a:1"}, "", "a:1"},
      // The two-word form's value is never the address, even when it looks like one.
      {{"--workspace", "b:2", "a:1"}, "b:2", "a:1"},
      {{"--workspace", "a:1"}, "a:1", std::nullopt},
      {{"--workspace", "--follow", "a:1"}, "--follow", "a:1"},
      {{"--workspace=a=b", "a:1"}, "a=b", "a:1"},
      {{"a:1", "--workspace"}, std::nullopt, "a:1", true},
      {{"--workspace", "/x", "--workspace=/y", "a:1"}, "/y", "a:1"},
      {{"a:1", "--workspace=/y", "--workspace"}, "/y", "a:1", true},
      {{"--Workspace", "/w", "a:1"}, std::nullopt, "/w"},
      {{"--workspaces=/w", "a:1"}, std::nullopt, "a:1"},
  };
  for (const WorkspaceCase& c : cases) {
    CommandLine parsed = parse_command_line(c.arguments);
    EXPECT_EQ(parsed.workspace, c.workspace) << testing::PrintToString(c.arguments);
    EXPECT_EQ(parsed.inspector_address, c.address) << testing::PrintToString(c.arguments);
    EXPECT_EQ(parsed.workspace_without_folder, c.without_folder)
        << testing::PrintToString(c.arguments);
  }
  // The other options keep their meaning beside it.
  CommandLine both = parse_command_line({"--follow", "--workspace", "/w", "--print-url", "a:1"});
  EXPECT_TRUE(both.follow);
  EXPECT_TRUE(both.print_url);
}

TEST(CommandLineTest, RunTakesEveryWordAfterIt) {
  struct Case {
    std::vector<std::string> arguments;
    std::optional<std::vector<std::string>> run;
    std::optional<std::string> address;
    bool all;
  };
  const Case cases[] = {
      {{"--run", "node", "app.js", "--follow", "a:1"},
       std::vector<std::string>{"node", "app.js", "--follow", "a:1"},
       std::nullopt,
       false},
      {{"--workspace", "/w", "--run", "npm", "test"},
       std::vector<std::string>{"npm", "test"},
       std::nullopt,
       false},
      {{"--run"}, std::vector<std::string>{}, std::nullopt, false},
      {{"--all", "a:1"}, std::nullopt, "a:1", true},
      {{"a:1", "--all", "--run", "--all"}, std::vector<std::string>{"--all"}, "a:1", true},
      {{"--all=1", "--ALL", "a:1"}, std::nullopt, "a:1", false},
  };
  for (const Case& c : cases) {
    CommandLine parsed = parse_command_line(c.arguments);
    EXPECT_EQ(parsed.run, c.run) << testing::PrintToString(c.arguments);
    EXPECT_EQ(parsed.inspector_address, c.address) << testing::PrintToString(c.arguments);
    EXPECT_EQ(parsed.all, c.all) << testing::PrintToString(c.arguments);
  }
}

}  // namespace
