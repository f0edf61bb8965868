#include "inspector_watch.h"

#include <thread>

#include "target_list_client.h"

bool InspectorWatch::wait(std::chrono::milliseconds timeout) {
  if (!connection_) {
    // Some inspectors close an idle connection after a while (workerd after
    // 15 s), and one that did so at once must not be connected to in a loop:
    // then the wait is a plain pause, as without the watch.
    const auto now = std::chrono::steady_clock::now();
    if (connected_at_ && now - *connected_at_ < timeout) {
      std::this_thread::sleep_until(*connected_at_ + timeout);
      return true;
    }
    connected_at_ = now;
    auto connection = connect_to_inspector(address_);
    if (!connection) return false;
    connection_ = std::move(connection).value();
  }
  auto readable = net::wait_readable(*connection_, timeout);
  if (readable && !readable.value()) return true;
  // Nothing is ever asked on it, so anything that arrives means it is over.
  connection_.reset();
  return false;
}
