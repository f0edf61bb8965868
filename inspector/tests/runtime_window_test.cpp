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
#include "support/runtime_inspector.h"
#include "support/startup_text.h"
#include "support/window_fixture.h"

namespace {

using namespace std::chrono_literals;

// Passes bytes both ways between a client and 127.0.0.1:port, and keeps what
// the engine sent: its protocol replies are unmasked WebSocket text.
class RecordingForwarder {
 public:
  explicit RecordingForwarder(uint16_t port)
      : server_([this, port](int client) { forward(client, port); }) {}
  std::string address() const { return server_.address(); }
  bool wait_for_reply(const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      {
        std::lock_guard lock(mutex_);
        if (replies_.find(text) != std::string::npos) return true;
      }
      std::this_thread::sleep_for(50ms);
    }
    return false;
  }

 private:
  void forward(int client, uint16_t port) {
    int engine = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    in.sin_port = htons(port);
    if (connect(engine, reinterpret_cast<sockaddr*>(&in), sizeof in) != 0) {
      close(engine);
      return;
    }
    pollfd fds[] = {{client, POLLIN, 0}, {engine, POLLIN, 0}};
    char buffer[65536];
    // Bounded: the test ends long before.
    const auto deadline = std::chrono::steady_clock::now() + 150s;
    while (std::chrono::steady_clock::now() < deadline) {
      if (poll(fds, 2, 200) < 0) break;
      bool open = true;
      for (int i = 0; i < 2 && open; ++i) {
        if (fds[i].revents == 0) continue;
        ssize_t count = recv(fds[i].fd, buffer, sizeof buffer, 0);
        if (count <= 0) {
          open = false;
          break;
        }
        LoopbackServer::send_text(fds[1 - i].fd, std::string(buffer, static_cast<size_t>(count)));
        if (i == 1) {
          std::lock_guard lock(mutex_);
          replies_.append(buffer, static_cast<size_t>(count));
        }
      }
      if (!open) break;
    }
    close(engine);
  }

  std::mutex mutex_;
  std::string replies_;
  LoopbackServer server_;
};

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
