#include "target_follower.h"

#include <gtest/gtest.h>

#include "target_selection.h"

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
      // Nothing listed: the inspector is between two programs.
      {"empty list", "[]", {std::nullopt, false, true}},
      {"first without a url", list({nullptr, "ws://h:1/b"}), {std::nullopt, false}},
      {"not json", "<html>", {std::nullopt, false, true}},
      {"not an array", "{\"webSocketDebuggerUrl\":\"ws://h:1/b\"}", {std::nullopt, false, true}},
      {"scheme stripped before comparing", list({"wss://h:1/a"}), {std::nullopt, true}},
      {"case matters", list({"ws://h:1/A"}), {InspectorTarget{"h:1/A"}, false}},
      {"restarted on wss", list({"wss://h:1/b"}), {InspectorTarget{"h:1/b", true}, false}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(decide_follow("h:1/a", false, c.body), c.decision) << c.name;
  }
}

// Once the inspector was unreachable or listed nothing, whatever it lists
// next is a new program, even a target with the shown one's id.
TEST(TargetFollowerTest, DecisionsAfterTheInspectorWasGone) {
  struct Case {
    const char* name;
    std::string body;
    FollowDecision decision;
  };
  const Case cases[] = {
      {"same target again", list({"ws://h:1/a"}), {InspectorTarget{"h:1/a"}, true}},
      {"same target on wss", list({"wss://h:1/a"}), {InspectorTarget{"h:1/a", true}, true}},
      {"another target", list({"ws://h:1/b"}), {InspectorTarget{"h:1/b"}, false}},
      {"the first of several",
       list({"ws://h:1/b", "ws://h:1/a"}),
       {InspectorTarget{"h:1/b"}, true}},
      {"shown one behind one without a url",
       list({nullptr, "ws://h:1/a"}),
       {InspectorTarget{"h:1/a"}, true}},
      {"another behind one without a url",
       list({nullptr, "ws://h:1/b"}),
       {std::nullopt, false, true}},
      {"still empty", "[]", {std::nullopt, false, true}},
      {"still not a list", "<html>", {std::nullopt, false, true}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(decide_follow("h:1/a", true, c.body), c.decision) << c.name;
  }
}

// The watcher's view across a workerd restart, one list after another.
TEST(TargetFollowerTest, WorkerdRestartIsFollowedOnce) {
  const std::string main = list({"ws://h:1/main"});
  bool gone = false;
  std::vector<bool> switched;
  for (const std::string& body : {main, std::string("[]"), main, main}) {
    FollowDecision decision = decide_follow("h:1/main", gone, body);
    gone = decision.gone_since_listed;
    switched.push_back(decision.switch_to.has_value());
  }
  EXPECT_EQ(switched, (std::vector<bool>{false, false, true, false}));
}

// The texts of the targets the follower compares with the shown one.
std::vector<std::string> listed_targets(std::string_view body) {
  std::vector<std::string> texts;
  for (InspectorTarget& target : read_target_list(body).targets) texts.push_back(target.text);
  return texts;
}

TEST(TargetFollowerTest, ListedTargets) {
  EXPECT_EQ(listed_targets(list({"ws://a/1", nullptr, "wss://b/2", "http://c/3"})),
            (std::vector<std::string>{"a/1", "b/2", "http://c/3"}));
  EXPECT_EQ(listed_targets("[{\"webSocketDebuggerUrl\":7}, 3, [\"ws://x\"]]"),
            std::vector<std::string>{});
  EXPECT_EQ(listed_targets("[] trailing"), std::vector<std::string>{});
}

}  // namespace
