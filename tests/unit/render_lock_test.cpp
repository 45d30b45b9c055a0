#include "module/render_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace korv {
namespace {

TEST(RenderLock, IsReentrantForTheThreadThatHoldsIt) {
  std::atomic<bool> done{false};
  std::thread holder([&] {
    RenderLockGuard outer;
    {
      RenderLockGuard inner;  // would deadlock on a non-re-entrant lock
    }
    done = true;
  });
  holder.join();
  EXPECT_TRUE(done);
}

TEST(RenderLock, KeepsAnotherThreadOutWhileHeld) {
  std::atomic<bool> other_entered{false};
  std::atomic<bool> other_started{false};
  std::thread other;
  {
    RenderLockGuard held;
    other = std::thread([&] {
      other_started = true;
      RenderLockGuard mine;
      other_entered = true;
    });
    while (!other_started) {
      std::this_thread::yield();
    }
    // Ample time for the other thread to get in, were the lock not held.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(other_entered);
  }
  other.join();
  EXPECT_TRUE(other_entered);
}

}  // namespace
}  // namespace korv
