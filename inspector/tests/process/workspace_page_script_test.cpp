// The page script under node, with a page of stand-ins around it: what it
// posts for the frontend's calls and what it does with the program's answers.
#include "workspace_page_script.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/node_page.h"

namespace {

// Plays the frontend: the stub assigned as host.js does, then calls on it, and
// answers as the program would, under the names the program uses (`handler`,
// `receive`, defined before it). Prints what was posted and what came back.
constexpr const char* kPage = R"js(
globalThis.window = globalThis;
const posted = [];
window.webkit = {messageHandlers: {[handler]: {postMessage: (text) => posted.push(JSON.parse(text))}}};
window.location = {href: 'devtools://localhost/js_app.html'};
const events = [];
window.InspectorFrontendAPI = {streamWrite: (...args) => events.push(['streamWrite', ...args])};
require(process.argv[2]);
class Stub { platform() { return 'linux'; } save() { throw new Error('the stub saved'); } }
window.InspectorFrontendHost = new Stub();
const host = window.InspectorFrontendHost;
const seen = {platform: host.platform()};
host.save('u', 'first', true);
host.append('u', 'chunk');
host.loadNetworkResource('file:///w/a.map', '', 3, (result) => { seen.loaded = result; });
const load = posted[posted.length - 1];
window[receive]({event: 'streamWrite', params: [3, 'abc']});
window[receive]({id: load.id, result: {statusCode: 200}});
window[receive]({id: load.id, result: {statusCode: 500}});  // answered once only
const root = host.isolatedFileSystem('/w', '').root;
root.getFile('sub/../a.ts', {create: true}, (entry) => {
  seen.entry = [entry.fullPath, entry.name, entry.isFile];
  entry.file((blob) => blob.text().then((text) => { seen.text = text; }));
}, (error) => { seen.openError = error.name; });
root.getDirectory('missing', undefined, () => {}, (error) => { seen.missing = error.name; });
setTimeout(() => {
  for (const message of posted) {
    if (message.method === 'file.open' && message.params[0] === '/w/sub/../a.ts') {
      window[receive]({id: message.id, result: true});
    }
    if (message.method === 'file.open' && message.params[0] === '/w/missing') {
      window[receive]({id: message.id, error: {name: 'NotFoundError', message: 'no'}});
    }
  }
  setTimeout(() => {
    const read = posted.find((message) => message.method === 'file.read');
    if (read) window[receive]({id: read.id, result: Buffer.from('text').toString('base64')});
    setTimeout(() => console.log(JSON.stringify({posted, events, seen})), 20);
  }, 20);
}, 20);
)js";

TEST(WorkspacePageScriptTest, CarriesTheFrontendsCallsAndTheProgramsAnswers) {
  const std::string names = "const handler = '" + std::string(kWorkspaceMessageHandler) +
                            "';\nconst receive = '" + kWorkspaceReceiveFunction + "';\n";
  ProcessResult run = run_node_page(workspace_page_script(PageTransport::kWebKit), names + kPage);
  ASSERT_EQ(run.exit_status, 0) << run.err;
  const nlohmann::json out = nlohmann::json::parse(run.out, nullptr, false);
  ASSERT_FALSE(out.is_discarded()) << run.out;
  const auto& posted = out["posted"];
  const auto& seen = out["seen"];

  // The stub keeps its other methods; the program's replace the ones it serves.
  EXPECT_EQ(seen["platform"], "linux");
  ASSERT_GE(posted.size(), 3u);
  EXPECT_EQ(posted[0],
            (nlohmann::json{{"id", 0}, {"method", "save"}, {"params", {"u", "first", true}}}));
  // Calls without a callback wait for nothing.
  EXPECT_EQ(posted[1],
            (nlohmann::json{{"id", 0}, {"method", "append"}, {"params", {"u", "chunk"}}}));
  EXPECT_EQ(posted[2]["method"], "loadNetworkResource");
  EXPECT_GT(posted[2]["id"], 0);
  EXPECT_EQ(posted[2]["params"], (nlohmann::json{"file:///w/a.map", "", 3}));
  EXPECT_EQ(out["events"], (nlohmann::json{{"streamWrite", 3, "abc"}}));
  EXPECT_EQ(seen["loaded"], (nlohmann::json{{"statusCode", 200}}));

  // The file system entries ask the program with whole paths under the folder.
  std::vector<nlohmann::json> file_calls;
  for (const auto& message : posted) {
    if (message["method"].get<std::string>().starts_with("file.")) {
      file_calls.push_back({message["method"], message["params"]});
    }
  }
  EXPECT_EQ(file_calls, (std::vector<nlohmann::json>{
                            {"file.open", {"/w/sub/../a.ts", false, true, false}},
                            {"file.open", {"/w/missing", true, false, false}},
                            {"file.read", {"/w/sub/../a.ts"}},
                        }));
  EXPECT_EQ(seen["entry"], (nlohmann::json{"/sub/../a.ts", "a.ts", true}));
  EXPECT_EQ(seen["missing"], "NotFoundError");
  EXPECT_EQ(seen["text"], "text");
}

}  // namespace
