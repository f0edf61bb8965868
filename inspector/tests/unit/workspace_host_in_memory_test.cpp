// The host's rules on a disk in memory, so that they run on every system.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "base64.h"
#include "support/memory_file_system.h"
#include "support/workspace_host_fixture.h"

namespace {

using namespace workspace_host_fixture;

class WorkspaceHostInMemory : public testing::Test {
 protected:
  void SetUp() override {
    files_.put("/ws/app.ts", "let a;\n");
    ASSERT_FALSE(host_.grant("/ws"));
  }
  void call(long long id, const std::string& method, json params) {
    host_.receive(json{{"id", id}, {"method", method}, {"params", std::move(params)}}.dump());
  }

  FakeWindow window_;
  MemoryFileSystem files_;
  WorkspaceHost host_{window_, files_};
};

TEST_F(WorkspaceHostInMemory, SavesReplaceOnlyWhatTheWindowRead) {
  // Steps on one file: "read" it into the page, "edit" it on disk meanwhile,
  // "save" text (refused when the expected disk text is unchanged), "new" it
  // from the page, or "reload" the page.
  struct Step {
    const char* action;
    std::string text = {};
    bool refused = false;
  };
  struct Case {
    const char* name;
    std::string before;  // "" for no file
    std::vector<Step> steps;
    std::string after;
  };
  const std::string trailer = "\n//# sourceURL=file:///app.ts\n";
  const Case cases[] = {
      {"read, then saved twice", "a", {{"read"}, {"save", "b"}, {"save", "c"}}, "c"},
      {"never read", "a", {{"save", "b", true}}, "a"},
      {"changed on disk after the read", "a", {{"read"}, {"edit", "z"}, {"save", "b", true}}, "z"},
      {"read again after the change",
       "a",
       {{"read"}, {"edit", "z"}, {"read"}, {"save", "b", true}},
       "z"},
      {"the engine's copy", "let a;\n", {{"read"}, {"save", "let a;" + trailer, true}}, "let a;\n"},
      {"a trailer the file has", "a" + trailer, {{"read"}, {"save", "b" + trailer}}, "b" + trailer},
      {"a new file", "", {{"save", "b"}}, "b"},
      {"made by the page", "", {{"new"}, {"save", "b"}}, "b"},
      {"a new page has read nothing", "a", {{"read"}, {"reload"}, {"save", "b", true}}, "a"},
      {"a new page that read it", "a", {{"read"}, {"reload"}, {"read"}, {"save", "b"}}, "b"},
  };
  long long id = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = "/ws/saved.ts";
    files_.remove_file(file);
    if (!c.before.empty()) files_.put(file, c.before);
    window_.posted.clear();
    for (const Step& step : c.steps) {
      const std::string action = step.action;
      if (action == "read") {
        call(++id, "file.read", {file});
        ASSERT_TRUE(window_.awaited(id).is_string());
      } else if (action == "edit") {
        files_.put(file, step.text);
      } else if (action == "new") {
        call(++id, "file.open", {file, false, true, true});
        ASSERT_EQ(window_.answer(id), true);
      } else if (action == "reload") {
        call(++id, "requestFileSystems", json::array());
      } else {
        call(++id, "file.write", {file, base64_encode(step.text)});
        const json answer = window_.answer(id);
        EXPECT_EQ(answer == true, !step.refused) << answer;
        // A refusal is said in the frontend's console, with the file's path.
        const auto said = window_.events("vorpelError");
        EXPECT_EQ(said.size(), step.refused ? 1u : 0u);
        if (!said.empty()) {
          EXPECT_NE(said[0][0].get<std::string>().find(file), std::string::npos);
        }
        window_.posted.clear();
      }
    }
    EXPECT_EQ(files_.bytes(file).value_or(""), c.after);
    call(++id, "file.remove", {file});
  }
  // What a rename moves, the page holds under the new name.
  files_.put("/ws/before.ts", "a");
  call(++id, "file.read", {"/ws/before.ts"});
  window_.awaited(id);
  call(++id, "file.rename", {"/ws/before.ts", "/ws/after.ts"});
  call(++id, "file.write", {"/ws/after.ts", base64_encode("b")});
  EXPECT_EQ(window_.answer(id), true);
  EXPECT_EQ(files_.bytes("/ws/after.ts"), "b");
}

}  // namespace
