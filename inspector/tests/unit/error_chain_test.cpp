#include "error_chain.h"

#include <gtest/gtest.h>

namespace {

ErrorChain chain(std::vector<std::string> messages) {
  ErrorChain error = ErrorChain::from_message(messages.back());
  for (size_t i = messages.size() - 1; i-- > 0;) error = std::move(error).with_context(messages[i]);
  return error;
}

struct ReportCase {
  const char* name;
  std::vector<std::string> messages;
  std::string expected;
};

class ReportTest : public testing::TestWithParam<ReportCase> {};

TEST_P(ReportTest, Layout) {
  EXPECT_EQ(chain(GetParam().messages).report(), GetParam().expected);
}

std::string eleven_causes_report() {
  std::string out = "Error: top\n\nCaused by:";
  for (int i = 0; i < 11; ++i) {
    out += i < 10 ? "\n    " : "\n   ";
    out += std::to_string(i) + ": c";
    out += static_cast<char>('a' + i);
  }
  return out + "\n";
}

std::vector<std::string> eleven_causes() {
  std::vector<std::string> messages{"top"};
  for (char i = 0; i < 11; ++i) messages.push_back(std::string{'c', static_cast<char>('a' + i)});
  return messages;
}

INSTANTIATE_TEST_SUITE_P(
    Causes, ReportTest,
    testing::Values(
        ReportCase{"none", {"usage: x"}, "Error: usage: x\n"},
        ReportCase{"outer_lines_not_indented", {"a\nb"}, "Error: a\nb\n"},
        ReportCase{"one", {"outer", "inner"}, "Error: outer\n\nCaused by:\n    inner\n"},
        ReportCase{
            "one_multiline",
            {"outer", "no webSocketDebuggerUrl in inspector /json: [ {\n  \"id\": \"1\"\n} ]"},
            "Error: outer\n\nCaused by:\n    no webSocketDebuggerUrl in inspector /json: [ "
            "{\n      \"id\": \"1\"\n    } ]\n"},
        ReportCase{"two",
                   {"failed to read inspector targets from http://127.0.0.1:9229/json",
                    "connect to inspector at 127.0.0.1:9229", "Connection refused (os error 111)"},
                   "Error: failed to read inspector targets from http://127.0.0.1:9229/json\n\n"
                   "Caused by:\n    0: connect to inspector at 127.0.0.1:9229\n"
                   "    1: Connection refused (os error 111)\n"},
        ReportCase{"two_multiline_and_blank_line",
                   {"o", "a\n\nb", "c"},
                   "Error: o\n\nCaused by:\n    0: a\n       \n       b\n    1: c\n"},
        ReportCase{"eleven", eleven_causes(), eleven_causes_report()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ErrorChainTest, OsErrorTextEndsWithNumber) {
  ErrorChain error = ErrorChain::from_os_error(111, "Connection refused");
  EXPECT_EQ(error.messages(), std::vector<std::string>{"Connection refused (os error 111)"});
}

TEST(ErrorChainTest, ContextPutsNewOutermostFirst) {
  ErrorChain error = ErrorChain::from_json_error("parse error at line 1")
                         .with_context("inspector /json was not valid JSON")
                         .with_context("failed");
  EXPECT_EQ(error.messages(),
            (std::vector<std::string>{"failed", "inspector /json was not valid JSON",
                                      "parse error at line 1"}));
}

}  // namespace
