#include "work_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

using namespace std::chrono_literals;

// Counts what runs at once; the first `most` tasks hold until that many run
// together, so a queue that ran fewer in parallel would be seen.
struct Gauge {
  std::mutex mutex;
  std::condition_variable changed;
  size_t now = 0, peak = 0, done = 0;
};

TEST(WorkQueueTest, RunsEveryTaskWithAtMostItsLimitAtOnce) {
  struct Case {
    size_t most;
    size_t tasks;
  };
  for (const Case c : {Case{1, 5}, Case{3, 50}, Case{8, 200}}) {
    SCOPED_TRACE(c.most);
    auto gauge = std::make_shared<Gauge>();
    {
      WorkQueue queue(c.most);
      for (size_t i = 0; i < c.tasks; ++i) {
        queue.post([gauge, i, most = c.most] {
          std::unique_lock<std::mutex> lock(gauge->mutex);
          gauge->peak = std::max(gauge->peak, ++gauge->now);
          gauge->changed.notify_all();
          if (i < most) {
            gauge->changed.wait_for(lock, 10s, [&] { return gauge->peak >= most; });
          }
          --gauge->now;
          ++gauge->done;
          gauge->changed.notify_all();
        });
      }
    }  // tasks given outlive the queue
    std::unique_lock<std::mutex> lock(gauge->mutex);
    ASSERT_TRUE(gauge->changed.wait_for(lock, 20s, [&] { return gauge->done == c.tasks; }));
    EXPECT_EQ(gauge->peak, c.most);
  }
}

// Work given after the queue went idle starts a thread again.
TEST(WorkQueueTest, StartsAgainAfterItWentIdle) {
  WorkQueue queue(2);
  for (int round = 0; round < 3; ++round) {
    std::mutex mutex;
    std::condition_variable ran;
    bool done = false;
    queue.post([&] {
      std::lock_guard<std::mutex> lock(mutex);
      done = true;
      ran.notify_all();
    });
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(ran.wait_for(lock, 10s, [&] { return done; })) << round;
  }
}

}  // namespace
