#include "support/recording_forwarder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>
#include <vector>

using namespace std::chrono_literals;

RecordingForwarder::RecordingForwarder(uint16_t port)
    : server_([this, port](int client) { forward(client, port); }) {}

bool RecordingForwarder::wait_for(const std::function<bool(const std::string&)>& accept,
                                  std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  do {
    {
      std::lock_guard lock(mutex_);
      if (accept(replies_)) return true;
    }
    std::this_thread::sleep_for(50ms);
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

void RecordingForwarder::forward(int client, uint16_t port) {
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
  std::vector<char> buffer(1 << 20);
  const auto deadline = std::chrono::steady_clock::now() + 240s;  // the test ends first
  while (std::chrono::steady_clock::now() < deadline) {
    if (poll(fds, 2, 200) < 0) break;
    bool open = true;
    for (int i = 0; i < 2 && open; ++i) {
      if (fds[i].revents == 0) continue;
      ssize_t count = recv(fds[i].fd, buffer.data(), buffer.size(), 0);
      if (count <= 0) {
        open = false;
        break;
      }
      LoopbackServer::send_text(fds[1 - i].fd,
                                std::string(buffer.data(), static_cast<size_t>(count)));
      if (i == 1) {
        std::lock_guard lock(mutex_);
        replies_.append(buffer.data(), static_cast<size_t>(count));
      }
    }
    if (!open) break;
  }
  close(engine);
}
