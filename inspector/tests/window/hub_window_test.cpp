// --run and --all: many processes and worker threads in one window, each
// held until the window has attached it.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "support/process_runner.h"
#include "support/runtime_inspector.h"
#include "support/window_fixture.h"

namespace {

using namespace std::chrono_literals;

using HubWindowTest = WindowFixture;

std::string pinned_node(const std::string& release) {
  return std::string(VORPEL_TEST_RUNTIMES_DIR) + "/" + release + "/bin/node";
}

std::string write_script(const std::string& folder, const std::string& name,
                         const std::string& text) {
  const std::string path = folder + "/" + name;
  std::ofstream(path) << text;
  return path;
}

// A primary that forks two workers, each with a worker thread. Every line
// is written only once the window has let that process or thread go on.
constexpr const char* kClusterApp = R"(
const cluster = require('cluster');
const {Worker, isMainThread} = require('worker_threads');
if (!isMainThread) {
  console.log('thread of ' + process.pid + ' ran');
  return;
}
if (cluster.isPrimary) {
  console.log('primary ' + process.pid + ' ran');
  let ended = 0;
  for (let i = 0; i < 2; ++i) {
    cluster.fork().on('exit', () => {
      if (++ended === 2) setTimeout(() => process.exit(3), 300);
    });
  }
} else {
  console.log('worker ' + process.pid + ' ran');
  new Worker(__filename).on('exit', () => setTimeout(() => process.exit(0), 300));
}
)";

size_t count(const std::string& text, const std::string& pattern) {
  const std::regex expression(pattern);
  return static_cast<size_t>(std::distance(
      std::sregex_iterator(text.begin(), text.end(), expression), std::sregex_iterator()));
}

TEST_F(HubWindowTest, RunShowsEveryProcessAndThreadAndEndsWithTheCommandsStatus) {
  for (const std::string release : {"node18", "node24"}) {
    SCOPED_TRACE(release);
    if (!std::filesystem::exists(pinned_node(release))) GTEST_SKIP() << "no " << release;
    const std::string app = write_script(fresh_["HOME"], "cluster_app.js", kClusterApp);
    auto inspector = open_window({"--run", pinned_node(release), app});
    // Held until attached: a line from each proves the window let it go.
    const auto deadline = std::chrono::steady_clock::now() + 90s;
    while (std::chrono::steady_clock::now() < deadline &&
           count(inspector->out(), "thread of \\d+ ran") < 2) {
      std::this_thread::sleep_for(100ms);
    }
    EXPECT_EQ(count(inspector->out(), "primary \\d+ ran"), 1u) << inspector->out();
    EXPECT_EQ(count(inspector->out(), "worker \\d+ ran"), 2u) << inspector->out();
    EXPECT_EQ(count(inspector->out(), "thread of \\d+ ran"), 2u) << inspector->err();
    ASSERT_TRUE(inspector->wait_for_output("the command ended with status 3", 30s))
        << inspector->out() << inspector->err();
    display_.screenshot(std::string(VORPEL_TEST_OUTPUT_DIR) + "/hub_run_" + release + ".png");
    // The window stays on what it showed until the user closes it.
    EXPECT_FALSE(inspector->wait_exit(1s));
    const unsigned long window = display_.find_window(kWindowTitle, 20s);
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(display_.request_close(window));
    EXPECT_EQ(inspector->wait_exit(20s), std::optional<int>(3));
    // Node's own lines ("Debugger listening on ...") are the command's; ours are none.
    EXPECT_EQ(inspector->err().find("Error"), std::string::npos) << inspector->err();
  }
}

TEST_F(HubWindowTest, ClosingTheWindowEndsWhatIsLeftOfTheCommand) {
  const std::string node = pinned_node("node24");
  if (!std::filesystem::exists(node)) GTEST_SKIP() << "no node24";
  const std::string pids = fresh_["HOME"] + "/pids";
  // A child that leaves the command's group still ends with the window.
  const std::string app = write_script(fresh_["HOME"], "server.js", R"(
const {spawn} = require('child_process');
const fs = require('fs');
const child = spawn(process.execPath, ['-e', 'setInterval(() => {}, 1000)'], {detached: true});
fs.writeFileSync(process.argv[2], process.pid + ' ' + child.pid);
console.log('server ready');
setInterval(() => {}, 1000);
)");
  auto inspector = open_window({"--run", node, app, pids});
  ASSERT_TRUE(inspector->wait_for_output("server ready", 60s)) << inspector->err();
  int server = 0, child = 0;
  std::ifstream(pids) >> server >> child;
  ASSERT_GT(server, 0);
  ASSERT_GT(child, 0);
  // The detached child announced itself and was attached before it ran on.
  const unsigned long window = display_.find_window(kWindowTitle, 20s);
  ASSERT_NE(window, 0u);
  std::this_thread::sleep_for(2s);
  ASSERT_TRUE(display_.request_close(window));
  // Ended by the window: SIGTERM, as a shell reports it.
  EXPECT_EQ(inspector->wait_exit(20s), std::optional<int>(143));
  EXPECT_NE(::kill(server, 0), 0);
  EXPECT_NE(::kill(child, 0), 0);
  for (const auto& entry : std::filesystem::directory_iterator(fresh_["XDG_RUNTIME_DIR"])) {
    EXPECT_EQ(entry.path().filename().string().find("vorpel-run-"), std::string::npos)
        << "the run's folder is removed: " << entry.path();
  }
}

// An inspector that lists other inspectors' targets, as wrangler lists one a
// Worker; its list changes while the window is open.
constexpr const char* kListingServer = R"(
const http = require('http');
const fs = require('fs');
const [file, port] = process.argv.slice(2);
http.createServer((request, response) => {
  response.setHeader('Content-Type', 'application/json');
  response.end(fs.readFileSync(file, 'utf8'));
}).listen(Number(port), '127.0.0.1', () => console.log('listing'));
)";

std::string listing(const std::vector<RuntimeInspector*>& targets) {
  std::string body = "[";
  for (size_t i = 0; i < targets.size(); ++i) {
    if (i) body += ",";
    body += "{\"title\":\"worker-" + std::to_string(i) + "\",\"webSocketDebuggerUrl\":\"ws://" +
            targets[i]->target() + "\"}";
  }
  return body + "]";
}

TEST_F(HubWindowTest, AllAttachesEveryListedTargetAndTheOnesThatComeLater) {
  RuntimeInspector first("node"), second("node"), later("node");
  ASSERT_FALSE(first.target().empty() || second.target().empty() || later.target().empty());
  const std::string list = fresh_["HOME"] + "/list.json";
  std::ofstream(list) << listing({&first, &second});
  const uint16_t port = free_loopback_port();
  BackgroundProcess server({pinned_node("node24"),
                            write_script(fresh_["HOME"], "listing.js", kListingServer), list,
                            std::to_string(port)});
  ASSERT_TRUE(server.wait_for_output("listing", 30s)) << server.err();

  auto inspector = open_window({"--all", "127.0.0.1:" + std::to_string(port)});
  EXPECT_TRUE(first.process().wait_for_output("Debugger attached.", 60s)) << inspector->err();
  EXPECT_TRUE(second.process().wait_for_output("Debugger attached.", 30s)) << inspector->err();
  std::ofstream(list) << listing({&first, &later});
  EXPECT_TRUE(later.process().wait_for_output("Debugger attached.", 30s)) << inspector->err();
  display_.screenshot(std::string(VORPEL_TEST_OUTPUT_DIR) + "/hub_all.png");
  close_window(*inspector);
}

}  // namespace
