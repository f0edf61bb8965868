#include "target_follower.h"

#include <gtest/gtest.h>

namespace {

std::string list(std::initializer_list<const char*> urls) {
  std::string body = "[";
  for (const char* url : urls) {
    if (body.size() > 1) body += ",";
    body += url == nullptr ? std::string("{\"id\":\"x\"}")
                           : "{\"webSocketDebuggerUrl\":\"" + std::string(url) + "\"}";
  }
  return body + "]";
}

TEST(TargetFollowerTest, Decisions) {
  struct Case {
    const char* name;
    std::string body;
    FollowDecision decision;
  };
  const Case cases[] = {
      {"same target", list({"ws://h:1/a"}), {std::nullopt, true}},
      {"restarted", list({"ws://h:1/b"}), {InspectorTarget{"h:1/b"}, false}},
      {"new target beside the shown one", list({"ws://h:1/b", "ws://h:1/a"}), {std::nullopt, true}},
      {"shown one still listed later", list({"wss://h:1/b", "ws://h:1/a"}), {std::nullopt, true}},
      {"empty list", "[]", {std::nullopt, false}},
      {"first without a url", list({nullptr, "ws://h:1/b"}), {std::nullopt, false}},
      {"not json", "<html>", {std::nullopt, false}},
      {"not an array", "{\"webSocketDebuggerUrl\":\"ws://h:1/b\"}", {std::nullopt, false}},
      {"scheme stripped before comparing", list({"wss://h:1/a"}), {std::nullopt, true}},
      {"case matters", list({"ws://h:1/A"}), {InspectorTarget{"h:1/A"}, false}},
      {"restarted on wss", list({"wss://h:1/b"}), {InspectorTarget{"h:1/b", true}, false}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(decide_follow("h:1/a", c.body), c.decision) << c.name;
  }
}

TEST(TargetFollowerTest, ListedTargets) {
  EXPECT_EQ(listed_targets(list({"ws://a/1", nullptr, "wss://b/2", "http://c/3"})),
            (std::vector<std::string>{"a/1", "b/2", "http://c/3"}));
  EXPECT_EQ(listed_targets("[{\"webSocketDebuggerUrl\":7}, 3, [\"ws://x\"]]"),
            std::vector<std::string>{});
  EXPECT_EQ(listed_targets("[] trailing"), std::vector<std::string>{});
}

}  // namespace
