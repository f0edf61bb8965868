#include "target_selection.h"
#include "frontend_address.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kNoUrl = "no webSocketDebuggerUrl in inspector /json: ";

TEST(TargetSelectionTest, SelectsFirstTargetOrReportsBody) {
  const std::pair<std::string, InspectorTarget> accepted[] = {
      {R"([{"webSocketDebuggerUrl":"ws://127.0.0.1:9229/0f2c"}])", {"127.0.0.1:9229/0f2c"}},
      {R"( [{"webSocketDebuggerUrl":"wss://host/abc"},{"x":1}] )", {"host/abc", true}},
      {R"([{"webSocketDebuggerUrl":"WSS://host/x"}])", {"WSS://host/x"}},
      {R"([{"webSocketDebuggerUrl":"wss://ws://x"}])", {"ws://x", true}},
      {R"([{"webSocketDebuggerUrl":"ws://wss://x"}])", {"wss://x"}},
      {R"([{"webSocketDebuggerUrl":"WS://host/x"}])", {"WS://host/x"}},
      {R"([{"webSocketDebuggerUrl":"ws://"}])", {""}},
      {R"([{"webSocketDebuggerUrl":"ws://ws://x"}])", {"ws://x"}},
      {R"([{"webSocketDebuggerUrl":"http://x"}])", {"http://x"}},
      {R"([{"webSocketDebuggerUrl":"ws://a\u0026b"}])", {"a&b"}},
      {"\t\r\n[{\"webSocketDebuggerUrl\":\"ws://x\"}]\n", {"x"}},
      // A repeated member counts with its last value, as in the parsed tree.
      {R"([{"webSocketDebuggerUrl":1,"webSocketDebuggerUrl":"ws://b"}])", {"b"}},
      {R"([{"a":{"webSocketDebuggerUrl":"ws://x"},"webSocketDebuggerUrl":"ws://y"},[]])", {"y"}},
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

// Every element's target for the follower, and the first for selection,
// from one pass.
TEST(TargetSelectionTest, ReadsEveryTargetAndTheFirst) {
  struct Case {
    std::string body;
    std::vector<std::string> texts;
    std::optional<std::string> first;
  };
  const Case cases[] = {
      {R"([{"webSocketDebuggerUrl":"ws://a"},{"x":{"webSocketDebuggerUrl":"ws://n"}},)"
       R"({"webSocketDebuggerUrl":"wss://b"}])",
       {"a", "b"},
       "a"},
      {R"([1,{"webSocketDebuggerUrl":"ws://b"}])", {"b"}, std::nullopt},
      {R"([{"webSocketDebuggerUrl":"ws://a","webSocketDebuggerUrl":null},)"
       R"({"webSocketDebuggerUrl":"ws://b"}])",
       {"b"},
       std::nullopt},
      {R"([[{"webSocketDebuggerUrl":"ws://a"}],{"webSocketDebuggerUrl":"ws://b"}])",
       {"b"},
       std::nullopt},
      {R"([{"webSocketDebuggerUrl":{"webSocketDebuggerUrl":"ws://a"}},{"a":[]}])",
       {},
       std::nullopt},
      {R"({"a":{"webSocketDebuggerUrl":"ws://a"}})", {}, std::nullopt},
      {R"([{"webSocketDebuggerUrl":"ws://a"}] x)", {}, std::nullopt},
      // Listed, though no JSON text starts with a byte order mark.
      {"\xEF\xBB\xBF[{\"webSocketDebuggerUrl\":\"ws://a\"}]", {"a"}, std::nullopt},
  };
  for (const Case& c : cases) {
    TargetList list = read_target_list(c.body);
    std::vector<std::string> texts;
    for (const InspectorTarget& target : list.targets) texts.push_back(target.text);
    EXPECT_EQ(texts, c.texts) << c.body;
    EXPECT_EQ(list.first.ok(), c.first.has_value()) << c.body;
    if (list.first && c.first) {
      EXPECT_EQ(list.first.value().text, *c.first) << c.body;
    }
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
  const InspectorTarget target{"127.0.0.1:9229/abc"};
  const std::tuple<std::optional<std::string>, std::string> cases[] = {
      {std::nullopt,
       "http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/abc&experiments=true&v8only=true"},
      {"app.html?a={ws}&b={ws}", "app.html?a=127.0.0.1:9229/abc&b=127.0.0.1:9229/abc"},
      {"http://other/", "http://other/"},
      {"", ""},
      {"{ws}", target.text},
      {"{{ws}}", "{" + target.text + "}"},
      {"{w{ws}s}", "{w" + target.text + "s}"},
      {"{ws", "{ws"},
  };
  for (const auto& [override_template, expected] : cases) {
    EXPECT_EQ(build_frontend_address(target, override_template), expected);
  }
  // The inserted target is not searched again, and never escaped.
  EXPECT_EQ(expand_frontend_template("x={ws}", "{ws}&#?"), "x={ws}&#?");
  EXPECT_EQ(build_frontend_address(InspectorTarget{}, std::nullopt),
            "http://devtools.localhost/js_app.html?ws=&experiments=true&v8only=true");
}

TEST(TargetSelectionTest, DefaultFrontendAddressEncodesTheTarget) {
  const std::string prefix = "http://devtools.localhost/js_app.html?";
  const std::string suffix = "&experiments=true&v8only=true";
  struct Case {
    std::string text;
    bool wss;
    std::string parameter;  // what follows "js_app.html?"
  };
  const Case cases[] = {
      // Usual targets, byte for byte.
      {"127.0.0.1:9229/0f2c8a1e-54b6-4d1c-9c1e-3a2b1c0d9e8f", false,
       "ws=127.0.0.1:9229/0f2c8a1e-54b6-4d1c-9c1e-3a2b1c0d9e8f"},
      {"[::1]:9229/0f2c", false, "ws=[::1]:9229/0f2c"},
      {"localhost:9229/main", false, "ws=localhost:9229/main"},
      {"h:1/devtools/page/ABC_def.1~x?y=z", false, "ws=h:1/devtools/page/ABC_def.1~x?y=z"},
      {"h:1/!$'()*,;=@", false, "ws=h:1/!$'()*,;=@"},
      {"", false, "ws="},
      // What would end, add or change a parameter, or not be text of a query.
      {"h:1/x&rtc=true", false, "ws=h:1/x%26rtc=true"},
      {"h:1/x#y", false, "ws=h:1/x%23y"},
      {"h:1/100%", false, "ws=h:1/100%25"},
      {"h:1/%41", false, "ws=h:1/%2541"},
      {"h:1/a+b", false, "ws=h:1/a%2Bb"},
      {"h:1/a b", false, "ws=h:1/a%20b"},
      {"h:1/\xC3\xA9\xE2\x80\x94", false, "ws=h:1/%C3%A9%E2%80%94"},
      {std::string("h:1/\0\x1F\x7F", 7), false, "ws=h:1/%00%1F%7F"},
      {"h:1/\"<>\\^`{|}", false, "ws=h:1/%22%3C%3E%5C%5E%60%7B%7C%7D"},
      // A wss target goes in the frontend's "wss" parameter, encoded alike.
      {"h:1/abc", true, "wss=h:1/abc"},
      {"[::1]:9229/0f2c", true, "wss=[::1]:9229/0f2c"},
      {"h:1/x&embedded=y", true, "wss=h:1/x%26embedded=y"},
  };
  for (const Case& c : cases) {
    const InspectorTarget target{c.text, c.wss};
    EXPECT_EQ(build_frontend_address(target, std::nullopt), prefix + c.parameter + suffix)
        << c.text;
    // The user's own template gets the text as it is, whatever the scheme.
    EXPECT_EQ(build_frontend_address(target, "t?w={ws}"), "t?w=" + c.text);
  }
}

}  // namespace
