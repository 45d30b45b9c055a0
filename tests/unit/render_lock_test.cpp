// The render lock: queries hold it shared and run side by side; builds and
// the emptying of caches hold it alone, and wait for the queries inside.
#include "runtime/render_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <latch>
#include <thread>
#include <vector>

namespace korv {
namespace {

using namespace std::chrono_literals;

// Waits up to a generous bound for flag to turn true.
bool becomes_true(const std::atomic<bool> &flag) {
  const auto give_up = std::chrono::steady_clock::now() + 10s;
  while (!flag.load()) {
    if (std::chrono::steady_clock::now() > give_up) {
      return false;
    }
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// Starts body on a thread and gives it ample time to get in, were nothing
// keeping it out.
std::thread start_and_settle(std::atomic<bool> &started, std::function<void()> body) {
  std::thread thread([&started, body] {
    started = true;
    body();
  });
  while (!started.load()) {
    std::this_thread::yield();
  }
  std::this_thread::sleep_for(50ms);
  return thread;
}

// Every case runs as after a load that had its per-thread index and one that
// was refused it, from a fresh start, so that no case depends on another.
class RenderLock : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { testing::renew_render_thread_places(GetParam()); }
  void TearDown() override { testing::renew_render_thread_places(true); }

  // Places taken by threads alive at once: with the index, each its own
  // (every thread's, where there are places enough); without, none.
  void expect_own_places(const std::vector<unsigned> &places, bool room_for_all = true) {
    std::vector<int> holders(kRenderReaderSlots, 0);
    for (unsigned place : places) {
      if (place < kRenderReaderSlots) {
        EXPECT_TRUE(GetParam()) << "place " << place << " without a per-thread index";
        EXPECT_EQ(++holders[place], 1) << "place " << place << " held twice";
      } else {
        EXPECT_EQ(place, kRenderReaderSlots);
        EXPECT_FALSE(GetParam() && room_for_all) << "a thread left without a place";
      }
    }
  }
};

// The lock used to be re-entrant; what a query needs now is that another
// thread's query is not kept out.
TEST_P(RenderLock, ReadersOnTwoThreadsHoldItAtOnce) {
  std::atomic<bool> other_inside{false};
  std::atomic<bool> other_may_leave{false};
  std::thread other;
  {
    RenderLockShared mine;
    other = std::thread([&] {
      RenderLockShared theirs;
      other_inside = true;
      while (!other_may_leave.load()) {
        std::this_thread::yield();
      }
    });
    EXPECT_TRUE(becomes_true(other_inside)) << "a second reader was kept out";
    other_may_leave = true;
  }
  other.join();
}

// Per-thread scratch rests on this: a thread keeps its place, no two live
// threads share one, and every exclusive hold is counted. The places of
// threads that have ended go to new ones (a host may start render threads
// for every render).
TEST_P(RenderLock, GivesEachThreadAPlaceOfItsOwnAndCountsWrites) {
  for (int lifetime = 0; lifetime < 1000; lifetime += 100) {
    std::vector<std::thread> threads(100);
    for (std::thread &thread : threads) {
      thread = std::thread([] { RenderLockShared read; });
    }
    for (std::thread &thread : threads) {
      thread.join();
    }
  }
  const unsigned mine = render_thread_place();
  EXPECT_EQ(render_thread_place(), mine);
  unsigned theirs = mine;
  std::thread([&] { theirs = render_thread_place(); }).join();
  expect_own_places({mine, theirs});
  const std::uint64_t before = render_lock_writes();
  { RenderLockGuard held; }
  { RenderLockShared read; }
  EXPECT_EQ(render_lock_writes(), before + 1);
}

// A query keeps its results under the count it read: a writer that waited
// while it was read must move the count once it holds the lock.
TEST_P(RenderLock, KeepsAnotherThreadOutWhileHeld) {
  std::atomic<bool> other_entered{false};
  std::atomic<bool> other_started{false};
  std::thread other;
  std::uint64_t read_meanwhile = 0;
  {
    RenderLockGuard held;
    other = start_and_settle(other_started, [&] {
      RenderLockGuard mine;
      other_entered = true;
    });
    EXPECT_FALSE(other_entered);
    read_meanwhile = render_lock_writes();
  }
  other.join();
  EXPECT_TRUE(other_entered);
  EXPECT_NE(render_lock_writes(), read_meanwhile);
}

TEST_P(RenderLock, KeepsReadersOfAnotherThreadOutWhileHeldExclusively) {
  std::atomic<bool> reader_entered{false};
  std::atomic<bool> reader_started{false};
  std::thread reader;
  {
    RenderLockGuard held;
    reader = start_and_settle(reader_started, [&] {
      RenderLockShared mine;
      reader_entered = true;
    });
    EXPECT_FALSE(reader_entered);
  }
  reader.join();
  EXPECT_TRUE(reader_entered);
}

TEST_P(RenderLock, ExclusiveHolderOfAnotherThreadWaitsForTheReaderInside) {
  std::atomic<bool> writer_entered{false};
  std::atomic<bool> writer_started{false};
  std::thread writer;
  {
    RenderLockShared held;
    writer = start_and_settle(writer_started, [&] {
      RenderLockGuard mine;
      writer_entered = true;
    });
    EXPECT_FALSE(writer_entered);
  }
  writer.join();
  EXPECT_TRUE(writer_entered);
}

// More threads than the lock has reader slots hold it shared at the same
// time, so that some count in another's slot (but never take its place).
// When threads 128 to 149 and then 22 to 127 have left, most slots have had a
// reader leave them, yet threads 0 to 21 are still inside: the writer must go
// on waiting for them.
TEST_P(RenderLock, ThreadsBeyondTheReaderSlotsShareSlotsAndAllKeepWritersOut) {
  constexpr int kSlots = int(kRenderReaderSlots);
  constexpr int kThreads = kSlots + 22;
  std::latch all_inside(kThreads + 1);
  std::vector<std::atomic<bool>> may_leave(kThreads);
  std::atomic<int> inside{0};
  std::vector<unsigned> places(kThreads);
  std::vector<std::thread> readers;
  for (int i = 0; i < kThreads; ++i) {
    std::atomic<bool> has_slot{false};
    readers.emplace_back([&, i] {
      {
        RenderLockShared first;  // takes the thread's slot, the next in turn
      }
      places[std::size_t(i)] = render_thread_place();
      has_slot = true;
      RenderLockShared mine;
      inside.fetch_add(1);
      all_inside.count_down();
      while (!may_leave[std::size_t(i)].load()) {
        std::this_thread::sleep_for(1ms);
      }
      inside.fetch_sub(1);
    });
    // One thread at a time takes its slot, so that slots go in thread order.
    while (!has_slot.load()) {
      std::this_thread::yield();
    }
  }
  all_inside.arrive_and_wait();
  ASSERT_EQ(inside.load(), kThreads);
  expect_own_places(places, false);

  std::atomic<bool> writer_entered{false};
  std::atomic<bool> writer_started{false};
  int inside_when_writer_entered = -1;
  std::thread writer = start_and_settle(writer_started, [&] {
    RenderLockGuard mine;
    inside_when_writer_entered = inside.load();
    writer_entered = true;
  });
  auto let_leave = [&](int first, int last) {
    for (int i = first; i <= last; ++i) {
      may_leave[std::size_t(i)] = true;
    }
    for (int i = first; i <= last; ++i) {
      readers[std::size_t(i)].join();
    }
  };
  let_leave(kSlots, kThreads - 1);
  let_leave(kThreads - kSlots, kSlots - 1);
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(writer_entered) << "the writer got in while readers sharing slots were inside";
  let_leave(0, kThreads - kSlots - 1);
  writer.join();
  EXPECT_TRUE(writer_entered);
  EXPECT_EQ(inside_when_writer_entered, 0);
}

// Readers and writers on several threads for a while, over data that only the
// lock protects: a writer must never meet a reader or another writer inside,
// and ThreadSanitizer must see no race on the data.
TEST_P(RenderLock, ReadersAndWritersOnSeveralThreadsNeverOverlap) {
  constexpr int kReaders = 4;
  constexpr int kWriters = 2;
  constexpr int kRounds = 2000;
  std::vector<int> data(16, 0);  // every element equal, unless torn by a race
  std::atomic<int> readers_inside{0};
  std::atomic<int> writers_inside{0};
  std::atomic<int> overlaps{0};
  std::atomic<int> torn{0};
  std::latch start(kReaders + kWriters);
  std::vector<std::thread> threads;
  for (int r = 0; r < kReaders; ++r) {
    threads.emplace_back([&] {
      start.arrive_and_wait();
      for (int i = 0; i < kRounds; ++i) {
        RenderLockShared mine;
        readers_inside.fetch_add(1);
        if (writers_inside.load() != 0) {
          overlaps.fetch_add(1);
        }
        for (int value : data) {
          if (value != data[0]) {
            torn.fetch_add(1);
          }
        }
        readers_inside.fetch_sub(1);
      }
    });
  }
  for (int w = 0; w < kWriters; ++w) {
    threads.emplace_back([&] {
      start.arrive_and_wait();
      for (int i = 0; i < kRounds / 10; ++i) {
        RenderLockGuard mine;
        if (writers_inside.fetch_add(1) != 0 || readers_inside.load() != 0) {
          overlaps.fetch_add(1);
        }
        for (int &value : data) {
          value += 1;
          std::this_thread::yield();  // widens the window a reader could slip into
        }
        writers_inside.fetch_sub(1);
      }
    });
  }
  for (std::thread &thread : threads) {
    thread.join();
  }
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(data[0], kWriters * (kRounds / 10));
}

// /0: the index refused; /1: the index had.
INSTANTIATE_TEST_SUITE_P(, RenderLock, ::testing::Bool());

}  // namespace
}  // namespace korv
