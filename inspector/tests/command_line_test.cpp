#include "command_line.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  std::vector<std::string> arguments;
  bool print_url;
  std::optional<std::string> address;
  bool follow = false;
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
  };
  for (const Case& c : cases) {
    CommandLine parsed = parse_command_line(c.arguments);
    EXPECT_EQ(parsed.print_url, c.print_url) << testing::PrintToString(c.arguments);
    EXPECT_EQ(parsed.inspector_address, c.address) << testing::PrintToString(c.arguments);
    EXPECT_EQ(parsed.follow, c.follow) << testing::PrintToString(c.arguments);
  }
}

}  // namespace
