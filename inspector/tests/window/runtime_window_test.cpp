// The window attached to engines other than the system's node: Deno paused on
// its first line, and a workerd worker.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "support/loopback_server.h"
#include "support/process_runner.h"
#include "support/recording_forwarder.h"
#include "support/runtime_inspector.h"
#include "support/startup_text.h"
#include "support/window_fixture.h"

namespace {

using namespace std::chrono_literals;

using RuntimeWindowTest = WindowFixture;

TEST_F(RuntimeWindowTest, AttachesToDenoPausedOnStart) {
  ASSERT_TRUE(RuntimeInspector::installed("deno"));
  RuntimeInspector deno("deno", /*pause_on_start=*/true, "console.log('ran');\n");
  auto inspector = open_window({deno.address()});
  ASSERT_TRUE(inspector->wait_for_output(kThirdLine, 20s)) << inspector->err();
  ASSERT_NE(display_.find_window(kWindowTitle, 20s), 0u) << inspector->err();
  EXPECT_TRUE(deno.process().wait_for_output("Debugger session started.", 90s))
      << deno.process().err() << inspector->err();
  close_window(*inspector);
}

TEST_F(RuntimeWindowTest, AttachesToAWorkerdWorker) {
  ASSERT_TRUE(RuntimeInspector::installed("workerd"));
  RuntimeInspector workerd("workerd");
  const std::string address = workerd.address();
  RecordingForwarder forwarder(
      static_cast<uint16_t>(std::stoi(address.substr(address.rfind(':') + 1))));
  auto inspector = open_window({forwarder.address()});
  ASSERT_TRUE(inspector->wait_for_output(kThirdLine, 20s)) << inspector->err();
  // The frontend enabled the runtime over the WebSocket and the worker answered.
  EXPECT_TRUE(forwarder.wait_for_reply("Runtime.executionContextCreated", 90s))
      << inspector->err() << workerd.process().err();
  close_window(*inspector);
}

}  // namespace
