// The rules of several targets: which announcements pass, the live list the
// page's hub gets, and what the command's processes are given.
#include <gtest/gtest.h>

#include "announcement.h"
#include "frontend_address.h"
#include "hub_session.h"
#include "startup_lines.h"
#include "target_roster.h"

namespace {

constexpr const char* kSecret = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

std::string line(const std::string& fields) {
  return "{\"secret\":\"" + std::string(kSecret) + "\"" + fields + "}";
}

TEST(AnnouncementTest, WhatPassesAndWhatIsRefused) {
  const std::string ws = ",\"ws\":\"ws://127.0.0.1:40123/0f2c-aa\"";
  struct Case {
    std::string line;
    std::optional<Announcement> expected;
  };
  const Case cases[] = {
      {line(",\"pid\":42" + ws + ",\"script\":\"/srv/a.js\""),
       Announcement{42, "ws://127.0.0.1:40123/0f2c-aa", "/srv/a.js"}},
      {line(",\"pid\":42" + ws), Announcement{42, "ws://127.0.0.1:40123/0f2c-aa", ""}},
      {line(",\"pid\":7,\"ws\":\"ws://[::1]:9/x\""), Announcement{7, "ws://[::1]:9/x", ""}},
      {line(",\"pid\":7,\"ws\":\"ws://localhost:65535/x\",\"script\":3"),
       Announcement{7, "ws://localhost:65535/x", ""}},
      // Not from this run.
      {"{\"secret\":\"0123\",\"pid\":42" + ws + "}", std::nullopt},
      {"{\"pid\":42" + ws + "}", std::nullopt},
      {std::string("{\"secret\":\"") + kSecret + "0\",\"pid\":42" + ws + "}", std::nullopt},
      // Not a loopback inspector: the page would open whatever it names.
      {line(",\"pid\":42,\"ws\":\"ws://10.0.0.1:9229/x\""), std::nullopt},
      {line(",\"pid\":42,\"ws\":\"ws://127.0.0.1.evil:9229/x\""), std::nullopt},
      {line(",\"pid\":42,\"ws\":\"ws://127.0.0.1:65536/x\""), std::nullopt},
      {line(",\"pid\":42,\"ws\":\"ws://127.0.0.1:9229/\""), std::nullopt},
      {line(",\"pid\":42,\"ws\":\"ws://127.0.0.1:9229/x?a=1\""), std::nullopt},
      {line(",\"pid\":42,\"ws\":\"ws://127.0.0.1:/x\""), std::nullopt},
      {line(",\"pid\":42,\"ws\":\"wss://127.0.0.1:9229/x\""), std::nullopt},
      // No usable pid.
      {line(",\"pid\":0" + ws), std::nullopt},
      {line(",\"pid\":-3" + ws), std::nullopt},
      {line(",\"pid\":\"42\"" + ws), std::nullopt},
      {line(",\"pid\":4.5" + ws), std::nullopt},
      {line(",\"pid\":99999999999" + ws), std::nullopt},
      {"not json", std::nullopt},
      {"[1,2]", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    auto read = read_announcement(c.line, kSecret);
    if (c.expected) {
      ASSERT_TRUE(read) << c.line << ": " << read.error().report();
      EXPECT_EQ(read.value(), *c.expected) << c.line;
    } else {
      EXPECT_FALSE(read) << c.line;
    }
  }
}

TEST(AnnouncementTest, EachRunHasItsOwnSecret) {
  const std::string first = new_run_secret();
  EXPECT_EQ(first.size(), 64u);
  EXPECT_EQ(first.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(first, new_run_secret());
}

std::vector<std::string> names(const TargetRoster& roster) {
  std::vector<std::string> all;
  for (const HubTarget& target : roster.targets()) all.push_back(target.name);
  return all;
}

TEST(TargetRosterTest, ProcessesComeAndGo) {
  TargetRoster roster;
  roster.announce({41, "ws://127.0.0.1:1/a", "/srv/app/server.js"});
  roster.announce({42, "ws://127.0.0.1:2/b", "C:\\app\\worker.mjs"});
  roster.announce({43, "ws://127.0.0.1:3/c", ""});
  EXPECT_EQ(names(roster),
            (std::vector<std::string>{"server.js [41]", "worker.mjs [42]", "node [43]"}));
  const uint64_t version = roster.version();
  const std::string first_id = roster.targets()[0].id;

  roster.announce({41, "ws://127.0.0.1:1/a", "/srv/app/server.js"});
  EXPECT_EQ(roster.version(), version) << "the same announcement again changes nothing";
  roster.announce({41, "ws://127.0.0.1:9/z", "/srv/app/server.js"});
  EXPECT_GT(roster.version(), version);
  EXPECT_EQ(roster.targets().size(), 3u) << "a pid has one target";
  EXPECT_NE(roster.targets()[0].id, first_id) << "its new inspector is a new target";

  const uint64_t before_drop = roster.version();
  roster.drop_ended([](int pid) { return pid != 42; });
  EXPECT_EQ(names(roster), (std::vector<std::string>{"server.js [41]", "node [43]"}));
  EXPECT_GT(roster.version(), before_drop);
  const uint64_t after_drop = roster.version();
  roster.drop_ended([](int) { return true; });
  EXPECT_EQ(roster.version(), after_drop);
}

std::string json_list(std::initializer_list<std::pair<const char*, const char*>> targets) {
  std::string body = "[";
  for (auto [title, ws] : targets) {
    if (body.size() > 1) body += ",";
    body += std::string("{\"title\":\"") + title + "\",\"url\":\"file:///x/u.js\"" +
            (ws ? std::string(",\"webSocketDebuggerUrl\":\"") + ws + "\"" : "") + "}";
  }
  return body + "]";
}

TEST(TargetRosterTest, WhatAnInspectorLists) {
  TargetRoster roster;
  roster.list(json_list({{"/srv/a.js", "ws://127.0.0.1:9229/a"},
                         {"api", "ws://127.0.0.1:9229/b"},
                         {"no socket", nullptr},
                         {"dup", "ws://127.0.0.1:9229/a"},
                         {"", "wss://h:1/c"},
                         {"/", "ws://h:1/e"},
                         {"http", "http://h:1/d"}}));
  EXPECT_EQ(names(roster), (std::vector<std::string>{"a.js", "api", "u.js", "u.js"}));
  const std::vector<HubTarget> first = roster.targets();
  const uint64_t version = roster.version();

  roster.list(json_list({{"/srv/a.js", "ws://127.0.0.1:9229/a"},
                         {"api", "ws://127.0.0.1:9229/b"},
                         {"", "wss://h:1/c"},
                         {"/", "ws://h:1/e"}}));
  EXPECT_EQ(roster.targets(), first);
  EXPECT_EQ(roster.version(), version) << "the same list again changes nothing";

  // A Worker removed, then the inspector gone and back with the same names:
  // what it lists then is new.
  roster.list(json_list({{"api", "ws://127.0.0.1:9229/b"}}));
  EXPECT_EQ(roster.targets().front().id, first[1].id);
  roster.list(std::nullopt);
  EXPECT_TRUE(roster.targets().empty());
  roster.list(json_list({{"api", "ws://127.0.0.1:9229/b"}}));
  ASSERT_EQ(roster.targets().size(), 1u);
  EXPECT_NE(roster.targets().front().id, first[1].id);
  const std::string second_run = roster.targets().front().id;
  roster.list("[]");
  roster.list("not json");
  roster.list(json_list({{"api", "ws://127.0.0.1:9229/b"}}));
  EXPECT_NE(roster.targets().front().id, second_run) << "an empty list is a gap too";

  roster.announce({5, "ws://127.0.0.1:1/p", "p.js"});
  EXPECT_EQ(names(roster), (std::vector<std::string>{"api", "p.js [5]"}));
}

TEST(TargetRosterTest, ScriptForThePage) {
  EXPECT_EQ(hub_targets_script({}), "window.vorpelHubTargets && window.vorpelHubTargets([]);");
  const std::string script = hub_targets_script({{"i\"d", "bad \xff name", "ws://h:1/x"}});
  EXPECT_NE(script.find("\"id\":\"i\\\"d\""), std::string::npos) << script;
  EXPECT_NE(script.find("bad \xEF\xBF\xBD name"), std::string::npos) << "invalid UTF-8 replaced";
}

TEST(CommandRunTest, NodeOptionsKeepTheUsersAndQuoteThePreload) {
  struct Case {
    std::string user;
    std::string path;
    std::string expected;
  };
  const Case cases[] = {
      {"", "/run/user/1/vorpel-run-a/preload.js",
       "--require \"/run/user/1/vorpel-run-a/preload.js\""},
      {"--max-old-space-size=4096", "/t/p.js", "--max-old-space-size=4096 --require \"/t/p.js\""},
      {"", "C:/Users/J Doe/Temp/p.js", "--require \"C:/Users/J Doe/Temp/p.js\""},
      {"", "/t/a\"b\\c.js", "--require \"/t/a\\\"b\\\\c.js\""},
  };
  for (const Case& c : cases) EXPECT_EQ(node_options_with_preload(c.user, c.path), c.expected);
}

TEST(CommandRunTest, LinesThatSayWhatRunsAndHowItEnded) {
  EXPECT_EQ(run_line({"npm", "test"}), "vorpel_inspector: run        = npm test\n");
  EXPECT_EQ(command_line_text({"node", "-e", "console.log('a b')", ""}),
            "node -e 'console.log('\\''a b'\\'')' ''");
  EXPECT_EQ(command_end_line(143), "vorpel_inspector: the command ended with status 143\n");
  EXPECT_EQ(all_targets_line("127.0.0.1:9229"),
            "vorpel_inspector: targets    = every target at 127.0.0.1:9229\n");
}

TEST(CommandRunTest, OnlyTheHubPageGetsTheHub) {
  const std::string hub = target_hub_frontend_address();
  EXPECT_TRUE(is_target_hub_address(hub));
  EXPECT_TRUE(is_target_hub_address(to_frontend_scheme_form(hub)));
  EXPECT_FALSE(is_target_hub_address(
      "http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/x&experiments=true&v8only=true"));
  EXPECT_FALSE(is_target_hub_address("http://devtools.localhost/node_app.html?ws=vorpel-hubx"));
  EXPECT_FALSE(is_target_hub_address("http://example.com/node_app.html?ws=vorpel-hub"));
}

}  // namespace
