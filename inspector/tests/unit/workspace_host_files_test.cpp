// The host's file methods and searches, inside the granted folders only.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <future>
#include <thread>

#include "base64.h"
#include "support/workspace_host_fixture.h"

namespace {

using namespace workspace_host_fixture;

TEST_F(WorkspaceHostTest, WorkspaceFilesStayInside) {
  write("ws/app.ts", "old text");
  ::chmod(at("ws/app.ts").c_str(), 0741);
  struct Case {
    const char* method;
    json params;
    std::string error;  // "" for success
  };
  const std::string ws = at("ws");
  // A save replaces only what the window read.
  call(100, "file.read", {ws + "/app.ts"});
  call(101, "file.read", {ws + "/x_link.ts"});
  window_.awaited(100);
  window_.awaited(101);
  const Case cases[] = {
      {"file.write", {ws + "/app.ts", base64_encode("new text")}, ""},
      {"file.write", {ws + "/new.ts", base64_encode("made")}, ""},
      {"file.write", {ws + "/x_link.ts", base64_encode("through the link")}, ""},
      {"file.write", {ws + "/link_out/new.ts", base64_encode("x")}, "SecurityError"},
      {"file.write", {ws + "/../outside/new.ts", base64_encode("x")}, "SecurityError"},
      {"file.write", {ws + "/sub", base64_encode("x")}, "TypeMismatchError"},
      {"file.open", {ws + "/made", false, true, true}, ""},
      {"file.open", {ws + "/made", false, true, true}, "InvalidModificationError"},
      {"file.open", {ws + "/made", true, false, false}, "TypeMismatchError"},
      {"file.open", {ws + "/dir", true, true, false}, ""},
      {"file.open", {ws + "/missing", false, false, false}, "NotFoundError"},
      {"file.open", {ws + "/link_out/made", false, true, false}, "SecurityError"},
      {"file.open", {ws + "/secret.map", false, false, false}, "NotFoundError"},
      {"file.open", {ws + "/secret.map", false, true, true}, "InvalidModificationError"},
      {"file.read", {ws + "/secret.map"}, "NotFoundError"},
      {"file.read", {at("outside/secret.map")}, "NotFoundError"},
      {"file.status", {ws + "/link_out"}, "NotFoundError"},
      {"file.entries", {ws + "/link_out"}, "NotFoundError"},
      {"file.rename", {ws + "/made", ws + "/renamed"}, ""},
      {"file.rename", {ws + "/renamed", ws + "/app.ts"}, "InvalidModificationError"},
      {"file.rename", {ws + "/renamed", ws + "/link_out/stolen"}, "SecurityError"},
      {"file.remove", {ws + "/renamed"}, ""},
      {"file.remove", {ws + "/sub"}, "InvalidModificationError"},
      {"file.remove", {at("outside/secret.map")}, "SecurityError"},
  };
  long long id = 0;
  for (const Case& c : cases) {
    call(++id, c.method, c.params);
    const json answer = window_.answer(id);
    if (c.error.empty()) {
      EXPECT_EQ(answer, true) << c.method << " " << c.params;
    } else {
      EXPECT_EQ(answer.value("name", ""), c.error) << c.method << " " << c.params;
    }
  }
  EXPECT_EQ(read("ws/app.ts"), "new text");
  EXPECT_EQ(fs::status(root_ / "ws/app.ts").permissions(), fs::perms(0741));
  EXPECT_EQ(read("ws/new.ts"), "made");
  EXPECT_EQ(read("ws/sub/x.ts"), "through the link");
  EXPECT_TRUE(fs::is_symlink(root_ / "ws/x_link.ts"));
  EXPECT_TRUE(fs::is_directory(root_ / "ws/dir"));
  EXPECT_EQ(names_in("outside"), std::vector<std::string>{"secret.map"});
  EXPECT_EQ(read("outside/secret.map"), "secret");
  EXPECT_EQ(touched_outside(), std::vector<std::string>{});
}

TEST_F(WorkspaceHostTest, ReadsListsAndStatuses) {
  call(1, "file.entries", {at("ws")});
  std::vector<std::string> listed;
  for (const json& entry : window_.answer(1)) {
    listed.push_back(entry["name"].get<std::string>() + (entry["folder"] == true ? "/" : ""));
  }
  std::sort(listed.begin(), listed.end());
  // Links out of the workspace are not listed.
  EXPECT_EQ(listed, (std::vector<std::string>{"app.js.map", "sub/", "x_link.ts"}));
  call(2, "file.read", {at("ws/sub/x.ts")});
  EXPECT_EQ(base64_decode(window_.awaited(2).get<std::string>()), "let x = 1;\n");
  call(3, "file.status", {at("ws/sub/x.ts")});
  EXPECT_EQ(window_.answer(3)["size"], 11);
  EXPECT_EQ(window_.answer(3)["kind"], "file");
  call(4, "searchInPath", {9, at("ws"), "x"});
  ASSERT_TRUE(window_.run_one_task(5s));
  const auto search = window_.events("searchCompleted");
  ASSERT_EQ(search.size(), 1u);
  EXPECT_EQ(search[0][0], 9);
  EXPECT_EQ(search[0][2], json::array({at("ws/sub/x.ts")}));  // links are not followed
  call(5, "searchInPath", {10, at("outside"), "x"});
  EXPECT_TRUE(window_.events("searchCompleted")[1][2].empty());
  EXPECT_EQ(touched_outside(), std::vector<std::string>{});
}

TEST_F(WorkspaceHostTest, ReadsWholeFilesOffTheUiThread) {
  restart({.max_resource_bytes = 10, .chunk_bytes = 4});
  struct Case {
    const char* name;
    std::string content;
    std::string error;  // "" when the content comes back
  };
  const Case cases[] = {
      {"empty", "", ""},
      {"one piece", "abc", ""},
      {"pieces end on the boundary", "abcdefgh", ""},
      {"at the limit", "0123456789", ""},
      {"over the limit", "0123456789a", "QuotaExceededError"},
      {"not UTF-8", std::string("\xff\x00\xfe", 3), ""},
  };
  long long id = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write("ws/read.bin", c.content);
    call(++id, "file.read", {at("ws/read.bin")});
    // The reply comes through the UI thread's queue, never from inside the call.
    EXPECT_TRUE(window_.answer(id).is_null());
    const json answer = window_.awaited(id);
    if (c.error.empty()) {
      ASSERT_TRUE(answer.is_string()) << answer;
      EXPECT_EQ(base64_decode(answer.get<std::string>()), c.content);
    } else {
      EXPECT_EQ(answer.value("name", ""), c.error);
    }
  }
}

// A file whose folder becomes a link to elsewhere between the check of its
// path and its opening: no method may read what is there, or write over it.
TEST_F(WorkspaceHostTest, FilesMovedMeanwhileAreNotRead) {
  const std::string inside = at("ws/deep/secret.map");
  files_.before_open = [&](const std::string& path) {
    if (path != inside) return;
    fs::rename(root_ / "ws/deep", root_ / "ws/deep_moved");
    fs::create_directory_symlink("../outside", root_ / "ws/deep");
  };
  const std::string moved = "the file moved while it was opened";
  struct Case {
    std::string method;
    json params;
    json answer;
  };
  const Case cases[] = {
      {"loadNetworkResource",
       {url("ws/deep/secret.map"), "", 1},
       {{"statusCode", 403}, {"messageOverride", "vorpel_inspector: " + moved}}},
      {"file.read", {inside}, {{"name", "SecurityError"}, {"message", moved}}},
      {"file.write",
       {inside, base64_encode("over")},
       {{"name", "SecurityError"}, {"message", moved}}},
  };
  long long id = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    fs::remove(root_ / "ws/deep");  // the link the case before left
    fs::remove_all(root_ / "ws/deep_moved");
    fs::create_directory(root_ / "ws/deep");
    write("ws/deep/secret.map", "mine");
    call(++id, c.method, c.params);
    EXPECT_EQ(window_.awaited(id), c.answer);
  }
  EXPECT_TRUE(window_.events("streamWrite").empty());
  EXPECT_EQ(read("outside/secret.map"), "secret");
}

TEST_F(WorkspaceHostTest, SearchListsFoldersOffTheUiThread) {
  struct Case {
    const char* name;
    bool removed_meanwhile;
    size_t listed;
  };
  const Case cases[] = {
      {"kept", false, 1},
      {"removed while listing", true, 0},  // nothing from a folder no longer granted
  };
  long long request = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::promise<void> opened;
    std::shared_future<void> gate = opened.get_future().share();
    files_.before_list = [gate](const std::string&) { gate.wait_for(5s); };
    ++request;
    call(request, "searchInPath", {request, at("ws"), "x"});
    // The listing waits on the gate: a call that listed in place would have
    // answered by now.
    const size_t before = window_.events("searchCompleted").size();
    if (c.removed_meanwhile) call(0, "removeFileSystem", json::array({at("ws")}));
    opened.set_value();
    ASSERT_TRUE(window_.run_one_task(5s));
    const auto done = window_.events("searchCompleted");
    ASSERT_EQ(done.size(), before + 1);
    EXPECT_EQ(done.back()[0], request);
    EXPECT_EQ(done.back()[2].size(), c.listed);
  }
}

// A folder that becomes a link to elsewhere between the check of its path
// and its listing: neither a listing nor a search may show what is there.
TEST_F(WorkspaceHostTest, FoldersSwappedForLinksMeanwhileShowNothingOutside) {
  fs::create_directories(root_ / "ws/sub/deep");
  fs::create_directories(root_ / "outside/deep");
  write("ws/sub/deep/kept.txt", "secret kept");
  write("outside/leak.txt", "secret leak");
  write("outside/deep/leak.txt", "secret leak");
  struct Case {
    const char* name;
    const char* listed;  // ws/sub becomes a link to outside just before this is listed
  };
  const Case cases[] = {
      {"the folder being listed", "ws/sub"},
      {"a folder above it", "ws/sub/deep"},
  };
  auto shows_outside = [](const std::string& text) {
    return text.find("leak.txt") != std::string::npos;
  };
  long long id = 100;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A search for a word opens what it lists; one with none (a regular
    // expression) lists names only.
    const std::pair<const char*, const char*> asks[] = {
        {"file.entries", ""}, {"searchInPath", "secret"}, {"searchInPath", ""}};
    for (const auto& [method, query] : asks) {
      SCOPED_TRACE(std::string(method) + " " + query);
      std::atomic<bool> swapped{false};
      files_.before_list = [&, listed = at(c.listed)](const std::string& path) {
        if (path != listed || swapped.exchange(true)) return;
        fs::rename(root_ / "ws/sub", root_ / "ws/sub_moved");
        fs::create_directory_symlink("../outside", root_ / "ws/sub");
      };
      ++id;
      if (std::string(method) == "file.entries") {
        call(id, method, {at(c.listed)});
        const json answer = window_.answer(id);
        EXPECT_TRUE(answer.contains("name")) << answer;
        EXPECT_FALSE(shows_outside(answer.dump()));
      } else {
        const size_t before = window_.events("searchCompleted").size();
        call(0, method, {id, at("ws"), query});
        while (window_.events("searchCompleted").size() == before) {
          ASSERT_TRUE(window_.run_one_task(5s));
        }
        EXPECT_FALSE(shows_outside(window_.events("searchCompleted").back().dump()));
      }
      files_.before_list = nullptr;
      ASSERT_TRUE(swapped);
      fs::remove(root_ / "ws/sub");
      fs::rename(root_ / "ws/sub_moved", root_ / "ws/sub");
    }
  }
}

}  // namespace