// The idle-worker script under node, with stand-in workers and a clock: which
// workers it ends, when, and that the frontend cannot tell.
#include "page_scripts.h"

#include <gtest/gtest.h>

#include <optional>

#include <nlohmann/json.hpp>

#include "support/node_page.h"

namespace {

// Plays the page and its workers: stand-in workers, a clock, and notes of
// what the frontend saw, which a scenario fills and the test reads.
constexpr const char* kHarness = R"js(
globalThis.window = globalThis;
globalThis.ErrorEvent = class extends Event {
  constructor(type, init) { super(type, init); Object.assign(this, {message: init.message}); }
};
let now = 0;
let timers = [];
globalThis.setTimeout = (callback, ms) => { timers.push({at: now + ms, callback}); return timers.length; };
globalThis.clearTimeout = (id) => { if (id > 0 && timers[id - 1]) timers[id - 1].callback = null; };
const advance = (ms) => {
  now += ms;
  for (const timer of timers) {
    if (timer.callback && timer.at <= now) { const callback = timer.callback; timer.callback = null; callback(); }
  }
};
const workers = [];
window.Worker = class {
  constructor(url, options) { this.url = String(url); this.options = options; this.posted = []; this.ended = false; workers.push(this); }
  postMessage(message) { this.posted.push(message); }
  terminate() { this.ended = true; }
  send(data) { this.onmessage({data, ports: []}); }
  fail() { let prevented = false; this.onerror({message: 'boom', preventDefault: () => { prevented = true; }}); return prevented; }
};
require(process.argv[2]);
const notes = {};
const note = (name, value) => { notes[name] = value; };
const live = () => workers.filter((w) => !w.ended).length;
const formatterUrl = 'devtools://localhost/entrypoints/formatter_worker/formatter_worker-entrypoint.js';
// Enough text that the worker's garbage is worth ending it for.
const big = 'x'.repeat(256 * 1024);
)js";

constexpr const char* kEndsIdleWorkers = R"js(
const other = new Worker('devtools://localhost/entrypoints/heap_snapshot_worker/heap_snapshot_worker-entrypoint.js');
note('otherIsReal', other === workers[0]);

const seen = [];
const listened = [];
const formatter = new Worker(new URL(formatterUrl), {type: 'module'});
formatter.onmessage = (event) => seen.push(event.data);
formatter.addEventListener('message', (event) => listened.push(event.data));
formatter.onerror = (event) => { note('error', event.message); event.preventDefault(); };
const first = workers[1];
note('firstOptions', first.options);
first.send('workerReady');
formatter.postMessage({method: 'format', params: {content: big}});
advance(60000);
note('busyWorkerKept', !first.ended);
first.send({content: 'a;'});
advance(9000);
note('keptWhileRecentlyUsed', !first.ended);
formatter.postMessage({method: 'parseCSS', params: {content: 'b{}'}});
first.send({chunk: [1], isLastChunk: false});
advance(60000);
note('keptBetweenChunks', !first.ended);
first.send({chunk: [2], isLastChunk: true});
advance(10001);
note('endedWhenIdle', first.ended);
note('otherNeverEnded', !other.ended);

formatter.postMessage({method: 'format', params: {content: 'c'}});
const second = workers[2];
note('startedAgainFor', second && [...second.posted]);
second.send('workerReady');
second.send({content: 'c;'});
first.send({content: 'late'});
note('seen', seen);
note('listened', listened);

formatter.postMessage({method: 'format', params: {content: ')'}});
note('errorPrevented', second.fail());
note('liveAfterError', live());
formatter.terminate();
note('endedByFrontend', second.ended);
formatter.postMessage({method: 'format', params: {content: 'd'}});
note('workersAfterEnd', workers.length);
console.log(JSON.stringify(notes));
)js";

// Small tasks leave a worker running: starting it again would cost the next
// one more than its garbage is worth.
constexpr const char* kSmallTasks = R"js(
const formatter = new Worker(formatterUrl, {type: 'module'});
const first = workers[0];
first.send('workerReady');
const task = (content) => {
  formatter.postMessage({method: 'javaScriptScopeTree', params: {content, sourceType: 'script'}});
  first.send({ok: true});
};
task('let a = 1;');
task('let b = 2;');
advance(60000);
note('smallTasksKept', !first.ended);
const third = 'y'.repeat(96 * 1024);
task(third);
task(third);
advance(60000);
note('keptJustBelow', !first.ended);
task('z'.repeat(64 * 1024));
advance(10001);
note('endedOnceTheyAddUp', first.ended);
note('noNewWorkerUntilAsked', workers.length === 1);
formatter.postMessage({method: 'javaScriptScopeTree', params: {content: 'let c = 3;'}});
const second = workers[1];
second.send('workerReady');
second.send({ok: true});
advance(60000);
note('newWorkerCountsAfresh', workers.length === 2 && !second.ended);
console.log(JSON.stringify(notes));
)js";

// The notes a scenario left, or none when it did not run to its end.
std::optional<nlohmann::json> scenario_notes(const char* scenario) {
  ProcessResult run = run_node_page(kIdleWorkerScript, std::string(kHarness) + scenario);
  EXPECT_EQ(run.exit_status, 0) << run.err;
  nlohmann::json notes = nlohmann::json::parse(run.out, nullptr, false);
  EXPECT_FALSE(notes.is_discarded()) << run.out;
  if (run.exit_status != 0 || notes.is_discarded()) return std::nullopt;
  return notes;
}

TEST(IdleWorkerScriptTest, EndsOnlyIdleFormatterWorkersAndStartsThemAgainUnseen) {
  const std::optional<nlohmann::json> run = scenario_notes(kEndsIdleWorkers);
  ASSERT_TRUE(run);
  const nlohmann::json& notes = *run;

  EXPECT_EQ(notes["otherIsReal"], true);
  EXPECT_EQ(notes["firstOptions"], nlohmann::json({{"type", "module"}}));
  for (const char* kept :
       {"busyWorkerKept", "keptWhileRecentlyUsed", "keptBetweenChunks", "endedWhenIdle",
        "otherNeverEnded", "errorPrevented", "endedByFrontend"}) {
    EXPECT_EQ(notes[kept], true) << kept;
  }
  // The task that found the worker ended went to a new one, and its greeting
  // and the old worker's late answer never reached the frontend.
  EXPECT_EQ(notes["startedAgainFor"],
            nlohmann::json::parse(R"([{"method": "format", "params": {"content": "c"}}])"));
  const nlohmann::json answers = nlohmann::json::parse(
      R"(["workerReady", {"content": "a;"}, {"chunk": [1], "isLastChunk": false},
          {"chunk": [2], "isLastChunk": true}, {"content": "c;"}])");
  EXPECT_EQ(notes["seen"], answers);
  EXPECT_EQ(notes["listened"], answers);
  EXPECT_EQ(notes["error"], "boom");
  EXPECT_EQ(notes["liveAfterError"], 2);  // the other worker and the one that failed
  EXPECT_EQ(notes["workersAfterEnd"], 3);
}

TEST(IdleWorkerScriptTest, KeepsAWorkerGivenLittleText) {
  const std::optional<nlohmann::json> run = scenario_notes(kSmallTasks);
  ASSERT_TRUE(run);
  const nlohmann::json& notes = *run;
  for (const char* kept : {"smallTasksKept", "keptJustBelow", "endedOnceTheyAddUp",
                           "noNewWorkerUntilAsked", "newWorkerCountsAfresh"}) {
    EXPECT_EQ(notes[kept], true) << kept;
  }
}

}  // namespace
