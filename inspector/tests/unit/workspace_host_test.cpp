#include "workspace_host.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include <mutex>
#include <thread>

#include "base64.h"
#include "support/workspace_host_fixture.h"
#include "workspace_page_script.h"

namespace {

using namespace workspace_host_fixture;

TEST_F(WorkspaceHostTest, MalformedMessagesAreAnsweredOrDropped) {
  struct Case {
    std::string message;
    // The error name answered to id 7, or "" when nothing may be posted.
    std::string error;
  };
  const Case cases[] = {
      {"not json", ""},
      {"", ""},
      {"[1,2]", ""},
      {R"("text")", ""},
      {R"({"id":"7","method":"bringToFront"})", ""},
      {R"({"id":1e300,"method":"bringToFront"})", ""},
      {R"({"id":7.5,"method":"bringToFront"})", ""},
      {R"({"id":-7,"method":"bringToFront"})", ""},
      {R"({"id":9007199254740993,"method":"bringToFront"})", ""},
      {R"({"id":99999999999999999999999,"method":"bringToFront"})", ""},
      {R"({"id":7})", "TypeError"},
      {R"({"id":7,"method":5})", "TypeError"},
      {R"({"id":7,"method":"file.read","params":{"0":"/"}})", "TypeError"},
      {R"({"id":7,"method":"file.read","params":[5]})", "TypeError"},
      {R"({"id":7,"method":"file.read"})", "TypeError"},
      {R"({"id":7,"method":"file.write","params":["/x", "not base64!"]})", "TypeError"},
      {R"({"id":7,"method":"noSuchMethod"})", "NotSupportedError"},
      {R"({"id":7,"method":"__proto__"})", "NotSupportedError"},
      {R"({"method":"noSuchMethod"})", ""},
      {R"({"id":0,"method":"file.read","params":[5]})", ""},
  };
  for (const Case& c : cases) {
    window_.posted.clear();
    host_->receive(c.message);
    if (c.error.empty()) {
      EXPECT_TRUE(window_.posted.empty()) << c.message;
    } else {
      EXPECT_EQ(window_.answer(7).value("name", ""), c.error) << c.message;
    }
  }
  // Streaming requests that lack a stream are refused as bad requests.
  for (const json& params :
       {json::array({url("ws/app.js.map"), ""}), json::array({url("ws/app.js.map"), "", 1.5}),
        json::array({url("ws/app.js.map"), "", "1"}), json::array({5, "", 1})}) {
    window_.posted.clear();
    call(8, "loadNetworkResource", params);
    EXPECT_EQ(window_.answer(8)["statusCode"], 400) << params;
    EXPECT_TRUE(window_.events("streamWrite").empty());
  }
  EXPECT_EQ(window_.raised, 0);
}

TEST_F(WorkspaceHostTest, LoadsOnlyFilesInsideTheWorkspace) {
  struct Case {
    std::string url;
    int status;
    std::string text;
  };
  const std::string ws = "file://" + at("ws");
  const Case cases[] = {
      {url("ws/app.js.map"), 200, R"({"version":3,"sources":["app.ts"]})"},
      {ws + "/sub/../app.js.map", 200, R"({"version":3,"sources":["app.ts"]})"},
      {ws + "/x_link.ts", 200, "let x = 1;\n"},
      {ws + "/sub/%78.ts", 200, "let x = 1;\n"},
      {"file://localhost" + at("ws/sub/x.ts"), 200, "let x = 1;\n"},
      {url("outside/secret.map"), 403, ""},
      {ws + "/../outside/secret.map", 403, ""},
      {ws + "/%2e%2e/outside/secret.map", 403, ""},
      {ws + "/%2E%2E%2Foutside%2Fsecret.map", 403, ""},
      {ws + "/link_out/secret.map", 403, ""},
      {ws + "/secret.map", 403, ""},
      {url("other/y.ts"), 403, ""},
      {url("ws/missing.map"), 403, ""},
      {url("ws/sub"), 404, ""},
      {ws + "/" + std::string(5000, 'a'), 403, ""},
      {"file:///", 403, ""},
      {"file://elsewhere" + at("ws/app.js.map"), 403, ""},
      {"data:application/json,{}", 403, ""},
      {"http://example.com/app.js.map", 403, ""},
      {"https://localhost/app.js.map", 403, ""},
      {"chrome://settings", 403, ""},
  };
  long long stream = 0;
  for (const Case& c : cases) {
    ++stream;
    call(100 + stream, "loadNetworkResource", json::array({c.url, "", stream}));
    const json answer = window_.answer(100 + stream);
    EXPECT_EQ(answer["statusCode"], c.status) << c.url.substr(0, 200);
    EXPECT_EQ(window_.streamed(stream), c.text) << c.url.substr(0, 200);
    if (c.status != 200) {
      EXPECT_TRUE(answer["messageOverride"].is_string()) << c.url.substr(0, 200);
    }
  }
  EXPECT_EQ(touched_outside(), std::vector<std::string>{});
}

TEST_F(WorkspaceHostTest, StreamsLargeFilesInWholeCharacters) {
  restart({.max_resource_bytes = 4000, .chunk_bytes = 7});
  // Two-, three- and four-byte characters, so some cut falls inside each kind.
  std::string text;
  for (int i = 0; i < 100; ++i) text += "a\xC3\xA9\xE2\x80\x94\xF0\x9F\x98\x80";
  write("ws/big.map", text);
  write("ws/too_big.map", std::string(4001, 'x'));
  write("ws/invalid.map", "a\xFF\xC3");

  call(1, "loadNetworkResource", json::array({url("ws/big.map"), "", 1}));
  EXPECT_EQ(window_.answer(1)["statusCode"], 200);
  EXPECT_EQ(window_.streamed(1), text);
  const auto chunks = window_.events("streamWrite");
  EXPECT_GT(chunks.size(), text.size() / 7);
  for (const json& chunk : chunks) EXPECT_LE(chunk[1].get<std::string>().size(), 7u);

  call(2, "loadNetworkResource", json::array({url("ws/too_big.map"), "", 2}));
  EXPECT_EQ(window_.answer(2)["statusCode"], 413);
  call(3, "loadNetworkResource", json::array({url("ws/invalid.map"), "", 3}));
  EXPECT_EQ(window_.answer(3)["statusCode"], 200);
  EXPECT_EQ(window_.streamed(3), "a\xEF\xBF\xBD\xEF\xBF\xBD");
}

// A stand-in for the network: answers by the path, after a pause, and keeps
// the limits it was given.
std::mutex fetched_mutex;
FetchLimits fetched_limits{};
Result<FetchedResource> fake_fetch(const LoopbackResource& resource, const FetchLimits& limits) {
  {
    std::lock_guard<std::mutex> lock(fetched_mutex);
    fetched_limits = limits;
  }
  std::this_thread::sleep_for(50ms);
  if (resource.target == "/app.js.map") return FetchedResource{200, "{\"version\":3}"};
  if (resource.target == "/big.map") return FetchedResource{200, std::string(20, 'x')};
  if (resource.target == "/gone.map") return FetchedResource{404, "Not Found"};
  return ErrorChain::from_message("the server took too long");
}

TEST_F(WorkspaceHostTest, FetchesLoopbackResourcesOffTheUiThread) {
  WorkspaceLimits limits;
  limits.chunk_bytes = 8;
  host_ = std::make_unique<WorkspaceHost>(window_, files_, limits, fake_fetch);
  struct Case {
    const char* path;
    int status;
    std::string text;
  };
  const Case cases[] = {
      {"/app.js.map", 200, "{\"version\":3}"},
      {"/big.map", 200, std::string(20, 'x')},
      {"/gone.map", 404, "Not Found"},
      {"/slow.map", 404, ""},
  };
  long long id = 0;
  for (const Case& c : cases) {
    ++id;
    call(id, "loadNetworkResource",
         json::array({std::string("http://localhost:8080").append(c.path), "", id}));
    EXPECT_TRUE(window_.answer(id).is_null()) << "answered before the fetch ended: " << c.path;
    ASSERT_TRUE(window_.run_one_task(5s)) << c.path;
    EXPECT_EQ(window_.answer(id)["statusCode"], c.status) << c.path;
    EXPECT_EQ(window_.streamed(id), c.text) << c.path;
  }
  EXPECT_EQ(window_.events("streamWrite").size(), 2u + 3u + 2u);  // 8-byte pieces
  std::lock_guard<std::mutex> lock(fetched_mutex);
  EXPECT_EQ(fetched_limits.max_body_bytes, limits.max_resource_bytes);
  EXPECT_EQ(fetched_limits.time, limits.fetch_time);
}

TEST_F(WorkspaceHostTest, FetchThatEndsAfterTheHostIsGoneAnswersNobody) {
  host_ = std::make_unique<WorkspaceHost>(window_, files_, WorkspaceLimits{}, fake_fetch);
  call(1, "loadNetworkResource", json::array({"http://127.0.0.1:1/app.js.map", "", 1}));
  host_.reset();
  ASSERT_TRUE(window_.run_one_task(5s));
  EXPECT_TRUE(window_.posted.empty());
}

// The user answers a dialog after the page, and with it the host, went away.
TEST_F(WorkspaceHostTest, DialogsAnsweredAfterTheHostIsGoneAnswerNobody) {
  window_.hold_save = window_.hold_folder = true;
  window_.save_answer = at("ws/late.txt");
  window_.folder_answer = at("other");
  call(0, "save", json::array({"late.txt", "text", false}));
  call(0, "addFileSystem", json::array({""}));
  host_.reset();
  window_.posted.clear();
  window_.held_save(window_.save_answer);
  window_.held_folder(window_.folder_answer);
  EXPECT_TRUE(window_.posted.empty());
  EXPECT_FALSE(fs::exists(root_ / "ws/late.txt"));
}

TEST_F(WorkspaceHostTest, ChunkedSaves) {
  struct Case {
    const char* name;
    std::vector<std::string> chunks;  // the first goes with save
    bool cancel = false;
    bool close_before_answer = false;
    std::optional<size_t> write_budget;
    bool saved;
  };
  std::vector<std::string> many(200, std::string(64 * 1024, 'h'));
  many[0] = "{\"snapshot\":";
  const Case cases[] = {
      {"whole", {"", "{\"a\":", "1}"}, false, false, std::nullopt, true},
      {"first chunk with save", {"all at once"}, false, false, std::nullopt, true},
      {"many chunks", many, false, false, std::nullopt, true},
      {"closed before the dialog answered",
       {"early", " and more"},
       false,
       true,
       std::nullopt,
       true},
      {"cancelled", {"", "x"}, true, false, std::nullopt, false},
      {"disk full midway", {"", "12345", "67890", "abc"}, false, false, 7, false},
      {"disk full at once", {"1234567890"}, false, false, 3, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(root_ / "saves");
    fs::create_directories(root_ / "saves");
    write("saves/heap.heapsnapshot", "the old one");
    window_.posted.clear();
    files_.write_budget = c.write_budget;
    window_.save_answer =
        c.cancel ? std::nullopt : std::optional<std::string>(at("saves/heap.heapsnapshot"));
    window_.hold_save = c.close_before_answer;
    const std::string url = "file:///profiles/Heap-20260101.heapsnapshot";

    call(0, "save", json::array({url, c.chunks[0], true}));
    std::string whole = c.chunks[0];
    for (size_t i = 1; i < c.chunks.size(); ++i) {
      call(0, "append", json::array({url, c.chunks[i]}));
      whole += c.chunks[i];
    }
    call(0, "close", json::array({url}));
    if (c.close_before_answer) window_.held_save(window_.save_answer);

    EXPECT_EQ(window_.suggested.back(), "Heap-20260101.heapsnapshot");
    EXPECT_EQ(read("saves/heap.heapsnapshot"), c.saved ? whole : std::string("the old one"));
    // No temporary file is left behind, whatever happened.
    EXPECT_EQ(names_in("saves"), std::vector<std::string>{"heap.heapsnapshot"});
    EXPECT_EQ(window_.events("appendedToURL").size(), c.chunks.size() - 1);
    EXPECT_EQ(window_.events("canceledSaveURL").size(), c.cancel ? 1u : 0u);
    EXPECT_EQ(window_.events("vorpelError").size(), c.write_budget ? 1u : 0u);
    if (!c.cancel) {
      EXPECT_EQ(window_.events("savedURL").size(), 1u);
    }
  }
  files_.write_budget.reset();
}

TEST_F(WorkspaceHostTest, SavedFileKeepsTheModeOfTheOneItReplaces) {
  write("ws/run.sh", "old");
  ::chmod(at("ws/run.sh").c_str(), 0750);
  window_.save_answer = at("ws/run.sh");
  call(0, "save", json::array({"run.sh", "new", false}));
  call(0, "close", json::array({"run.sh"}));
  EXPECT_EQ(read("ws/run.sh"), "new");
  EXPECT_EQ(fs::status(root_ / "ws/run.sh").permissions(), fs::perms(0750));
}

// The folder main checked before discovery may be gone when the window opens.
TEST_F(WorkspaceHostTest, WorkspaceFolderRefusedAtWindowTime) {
  for (const char* name : {"ws/app.js.map", "missing"}) {
    auto error = host_->grant(at(name));
    ASSERT_TRUE(error) << name;
    EXPECT_EQ(error->messages().front(), at(name) + " cannot be used as the workspace folder");
  }
}

TEST_F(WorkspaceHostTest, FoldersTheUserGives) {
  call(0, "requestFileSystems", json::array());
  auto loaded = window_.events("fileSystemsLoaded");
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded[0][0], json::array({{{"type", ""},
                                        {"fileSystemName", at("ws")},
                                        {"rootURL", ""},
                                        {"fileSystemPath", at("ws")}}}));

  window_.folder_answer.reset();
  call(0, "addFileSystem", json::array({""}));
  EXPECT_EQ(window_.folder_starts.back(), root_.string());
  EXPECT_EQ(window_.events("fileSystemAdded").back(),
            json::array({"<selection cancelled>", nullptr}));
  call(1, "file.read", {at("other/y.ts")});
  EXPECT_EQ(window_.answer(1)["name"], "NotFoundError");

  window_.folder_answer = at("other");
  call(0, "addFileSystem", json::array({"overrides"}));
  EXPECT_EQ(window_.events("fileSystemAdded").back()[1]["fileSystemPath"], at("other"));
  EXPECT_EQ(window_.events("fileSystemAdded").back()[1]["type"], "overrides");
  call(2, "file.read", {at("other/y.ts")});
  EXPECT_EQ(base64_decode(window_.awaited(2).get<std::string>()), "y");

  call(0, "removeFileSystem", json::array({at("other")}));
  EXPECT_EQ(window_.events("fileSystemRemoved").back(), json::array({at("other")}));
  call(3, "file.read", {at("other/y.ts")});
  EXPECT_EQ(window_.answer(3)["name"], "NotFoundError");
  // Removing a folder never given is ignored.
  call(0, "removeFileSystem", json::array({at("outside")}));
  EXPECT_EQ(window_.events("fileSystemRemoved").size(), 1u);

  call(0, "indexPath", json::array({4, at("ws"), "[]"}));
  EXPECT_EQ(window_.events("indexingDone").back(), json::array({4, at("ws")}));
  call(0, "bringToFront", json::array());
  EXPECT_EQ(window_.raised, 1);
}

TEST(WorkspacePageScriptTest, NamesEveryForwardedMethodAndItsTransport) {
  for (PageTransport transport : {PageTransport::kWebKit, PageTransport::kWebView2}) {
    const std::string script = workspace_page_script(transport);
    for (std::string_view method : workspace_host_methods()) {
      std::string quoted = "\"";
      quoted.append(method).append("\"");
      EXPECT_NE(script.find(quoted), std::string::npos) << method;
    }
    EXPECT_EQ(script.find("METHODS"), std::string::npos);
    const bool webkit = script.find("webkit.messageHandlers") != std::string::npos;
    EXPECT_EQ(webkit, transport == PageTransport::kWebKit);
    for (const char* name : {kWorkspaceMessageHandler, kWorkspaceReceiveFunction}) {
      const bool named = script.find('"' + std::string(name) + '"') != std::string::npos;
      EXPECT_EQ(named, transport == PageTransport::kWebKit) << name;
    }
  }
}

TEST(Base64Test, RoundTripsAndRejectsMalformedText) {
  for (const std::string& bytes : {std::string(), std::string("a"), std::string("ab"),
                                   std::string("abc"), std::string("\0\xFF\x80 x", 5)}) {
    EXPECT_EQ(base64_decode(base64_encode(bytes)), bytes);
  }
  EXPECT_EQ(base64_encode("ab"), "YWI=");
  for (const char* bad : {"Y", "YW=I", "YWI", "Y===", "YW!=", "=AAA"}) {
    EXPECT_EQ(base64_decode(bad), std::nullopt) << bad;
  }
}

}  // namespace