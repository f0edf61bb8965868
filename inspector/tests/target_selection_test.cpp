#include "target_selection.h"
#include "frontend_address.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kNoUrl = "no webSocketDebuggerUrl in inspector /json: ";

TEST(TargetSelectionTest, SelectsFirstTargetOrReportsBody) {
  const std::pair<std::string, std::string> accepted[] = {
      {R"([{"webSocketDebuggerUrl":"ws://127.0.0.1:9229/0f2c"}])", "127.0.0.1:9229/0f2c"},
      {R"( [{"webSocketDebuggerUrl":"wss://host/abc"},{"x":1}] )", "host/abc"},
      {R"([{"webSocketDebuggerUrl":"WS://host/x"}])", "WS://host/x"},
      {R"([{"webSocketDebuggerUrl":"ws://"}])", ""},
      {R"([{"webSocketDebuggerUrl":"ws://ws://x"}])", "ws://x"},
      {R"([{"webSocketDebuggerUrl":"http://x"}])", "http://x"},
      {R"([{"webSocketDebuggerUrl":"ws://a\u0026b"}])", "a&b"},
      {"\t\r\n[{\"webSocketDebuggerUrl\":\"ws://x\"}]\n", "x"},
      // A repeated member counts with its last value, as in the parsed tree.
      {R"([{"webSocketDebuggerUrl":1,"webSocketDebuggerUrl":"ws://b"}])", "b"},
      {R"([{"a":{"webSocketDebuggerUrl":"ws://x"},"webSocketDebuggerUrl":"ws://y"},[]])", "y"},
  };
  for (const auto& [body, target] : accepted) {
    auto result = select_target(body);
    ASSERT_TRUE(result.ok()) << body;
    EXPECT_EQ(result.value(), target);
  }
  const std::string refused[] = {
      "[]",
      R"({"webSocketDebuggerUrl":"ws://x"})",
      R"([{"id":"1"},{"webSocketDebuggerUrl":"ws://x"}])",
      R"([{"webSocketDebuggerUrl":1}])",
      R"([{"webSocketDebuggerUrl":null}])",
      R"([{"websocketdebuggerurl":"ws://x"}])",
      R"(["ws://x"])",
      "[ {\n  \"id\": \"1\"\n} ]",
      R"([{"webSocketDebuggerUrl":"ws://a","webSocketDebuggerUrl":null}])",
      R"([{"webSocketDebuggerUrl":{"webSocketDebuggerUrl":"ws://a"}}])",
      R"([{"a":{"webSocketDebuggerUrl":"ws://x"}}])",
      R"([[{"webSocketDebuggerUrl":"ws://x"}]])",
      R"([1,{"webSocketDebuggerUrl":"ws://x"}])",
      R"({"a":[{"webSocketDebuggerUrl":"ws://x"}]})",
      R"([{"id":"\u001b[31mred"}])",
  };
  for (const std::string& body : refused) {
    auto result = select_target(body);
    ASSERT_FALSE(result.ok()) << body;
    EXPECT_EQ(result.error().messages(), std::vector<std::string>{kNoUrl + body});
  }
}

TEST(TargetSelectionTest, InvalidJsonCarriesParserLocation) {
  const std::string bodies[] = {"", "[", "[] []", "[]x", "{'a':1}", "[1,]", "\xEF\xBB\xBF[]"};
  for (const std::string& body : bodies) {
    auto result = select_target(body);
    ASSERT_FALSE(result.ok()) << body;
    const auto& messages = result.error().messages();
    ASSERT_EQ(messages.size(), 2u) << body;
    EXPECT_EQ(messages[0], "inspector /json was not valid JSON");
    EXPECT_NE(messages[1].find("line 1, column"), std::string::npos) << messages[1];
  }
}

TEST(TargetSelectionTest, EmptyTargetList) {
  for (std::string_view body : {"[]", " [ \r\n\t] \n", "[\n]"}) {
    EXPECT_TRUE(is_empty_target_list(body)) << testing::PrintToString(body);
  }
  for (std::string_view body : {"", "[", "[{}]", "[] []", "{}", "[]x", "\xEF\xBB\xBF[]", "[\f]"}) {
    EXPECT_FALSE(is_empty_target_list(body)) << testing::PrintToString(body);
  }
}

TEST(TargetSelectionTest, FrontendAddress) {
  const std::string target = "127.0.0.1:9229/abc";
  const std::tuple<std::optional<std::string>, std::string> cases[] = {
      {std::nullopt,
       "http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/abc&experiments=true&v8only=true"},
      {"app.html?a={ws}&b={ws}", "app.html?a=127.0.0.1:9229/abc&b=127.0.0.1:9229/abc"},
      {"http://other/", "http://other/"},
      {"", ""},
      {"{ws}", target},
      {"{{ws}}", "{" + target + "}"},
      {"{w{ws}s}", "{w" + target + "s}"},
      {"{ws", "{ws"},
  };
  for (const auto& [override_template, expected] : cases) {
    EXPECT_EQ(build_frontend_address(target, override_template), expected);
  }
  // The inserted target is not searched again, and never escaped.
  EXPECT_EQ(expand_frontend_template("x={ws}", "{ws}&#?"), "x={ws}&#?");
  EXPECT_EQ(build_frontend_address("", std::nullopt),
            "http://devtools.localhost/js_app.html?ws=&experiments=true&v8only=true");
}

}  // namespace
