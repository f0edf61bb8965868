// Slow work that must not hold the window: run on a few threads of the
// queue's own, first come first served.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

class WorkQueue {
 public:
  // At most `most` tasks run at once; the rest wait their turn.
  explicit WorkQueue(size_t most);
  // Tasks already given still run after the queue is destroyed; each must
  // hold what it needs.
  void post(std::function<void()> task);

 private:
  struct State;
  std::shared_ptr<State> state_;
};
