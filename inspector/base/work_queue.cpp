#include "work_queue.h"

#include <deque>
#include <mutex>
#include <thread>

struct WorkQueue::State {
  std::mutex mutex;
  std::deque<std::function<void()>> waiting;
  size_t running = 0;  // threads started and not yet ended
  size_t most = 1;
};

WorkQueue::WorkQueue(size_t most) : state_(std::make_shared<State>()) {
  state_->most = most > 0 ? most : 1;
}

void WorkQueue::post(std::function<void()> task) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->waiting.push_back(std::move(task));
  if (state_->running >= state_->most) return;
  ++state_->running;
  // A thread ends once nothing waits, so an idle program holds none; it keeps
  // the state alive past the queue.
  std::thread([state = state_] {
    for (;;) {
      std::function<void()> next;
      {
        std::lock_guard<std::mutex> lock(state->mutex);
        if (state->waiting.empty()) {
          --state->running;
          return;
        }
        next = std::move(state->waiting.front());
        state->waiting.pop_front();
      }
      next();
    }
  }).detach();
}
