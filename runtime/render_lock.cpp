#include "runtime/render_lock.h"

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <chrono>
#include <mutex>
#include <thread>
#endif

namespace korv {

// Two cache lines: processors that fetch lines in pairs must not pull a
// neighbour's counter in with this one.
struct alignas(128) RenderReaderSlot {
  // Shared holders that use this slot right now. A thread has one slot, so
  // this is 0 or 1 unless more threads than slots render at once and two of
  // them were given the same one.
  std::atomic<std::uint32_t> readers{0};
};

namespace {

// How often a waiting writer checks a reader's counter before it lets other
// threads run: a query inside the lock usually leaves within a microsecond.
constexpr int kSpinsBeforeYield = 100;

inline void spin_pause() {
#ifdef _WIN32
  YieldProcessor();
#elif defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

#ifdef _WIN32
// The writers' mutual exclusion, and the thread's slot number kept in a Win32
// thread-local index: the module's runtime offers no C++ thread library.
class WriterMutex {
 public:
  WriterMutex() { InitializeCriticalSection(&section_); }
  ~WriterMutex() { DeleteCriticalSection(&section_); }
  void lock() { EnterCriticalSection(&section_); }
  void unlock() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

class ThreadSlotNumber {
 public:
  ThreadSlotNumber() : index_(TlsAlloc()) {}
  ~ThreadSlotNumber() {
    if (index_ != TLS_OUT_OF_INDEXES) {
      TlsFree(index_);
    }
  }
  // The thread's slot number + 1, or 0 when it has none yet.
  std::uint32_t get() const {
    if (index_ == TLS_OUT_OF_INDEXES) {
      return 1;  // every thread shares the first slot
    }
    return std::uint32_t(reinterpret_cast<std::uintptr_t>(TlsGetValue(index_)));
  }
  void set(std::uint32_t number) {
    if (index_ != TLS_OUT_OF_INDEXES) {
      TlsSetValue(index_, reinterpret_cast<void *>(std::uintptr_t(number)));
    }
  }

 private:
  DWORD index_;
};

inline void yield_thread() {
  SwitchToThread();
}
#else
// The writers' mutual exclusion. The standard mutex's lock may throw (where
// the system refuses it) and its try_lock never does, so the waiting is done
// here: yields first, then naps, since the holder may be a build that takes
// seconds.
class WriterMutex {
 public:
  void lock() noexcept {
    for (int tries = 0; !mutex_.try_lock(); ++tries) {
      if (tries < kSpinsBeforeYield) {
        std::this_thread::yield();
      } else {
        std::this_thread::sleep_for(
            std::chrono::microseconds(tries < 2 * kSpinsBeforeYield ? 50 : 500));
      }
    }
  }
  void unlock() noexcept { mutex_.unlock(); }

 private:
  std::mutex mutex_;
};

// The thread pointer (one register read, no call) names the thread: a module
// opened at run time keeps no thread-local variable, which would either take
// room in the loader's static thread-local block (of which modules loaded and
// unloaded in turn soon run out) or be allocated per thread on first use
// (reached through a call per sample, and left behind at unload, where GCC
// 12's leak checker misreads it at exit).
#if defined(__has_builtin)
#if __has_builtin(__builtin_thread_pointer)
#define KORV_THREAD_POINTER_SLOTS 1
#endif
#endif

#ifndef KORV_THREAD_POINTER_SLOTS
// Without a thread pointer, the thread's slot number in a thread-local.
class ThreadSlotNumber {
 public:
  std::uint32_t get() const { return number; }
  void set(std::uint32_t value) { number = value; }

 private:
  static thread_local std::uint32_t number;
};
thread_local std::uint32_t ThreadSlotNumber::number = 0;
#endif

inline void yield_thread() {
  std::this_thread::yield();
}
#endif

// Readers announce themselves in their own slot and then look whether a
// writer is at work; a writer announces itself and then looks at every slot.
// Both steps are sequentially consistent, so at least one of the two sees the
// other: either the reader backs off, or the writer waits for it.
class RenderLock {
 public:
  RenderReaderSlot *acquire_shared() {
    RenderReaderSlot &slot = own_slot();
    for (;;) {
      slot.readers.fetch_add(1, std::memory_order_seq_cst);
      if (writing_.load(std::memory_order_seq_cst) == 0) {
        return &slot;
      }
      // A writer is at work or waiting: step aside so that it can go on,
      // and sleep on its mutex until it is done.
      slot.readers.fetch_sub(1, std::memory_order_release);
      writers_.lock();
      writers_.unlock();
    }
  }

  void release_shared(RenderReaderSlot *slot) {
    slot->readers.fetch_sub(1, std::memory_order_release);
  }

  void acquire() {
    writers_.lock();
    writing_.store(1, std::memory_order_seq_cst);
    for (RenderReaderSlot &slot : slots_) {
      for (int spins = 0; slot.readers.load(std::memory_order_seq_cst) != 0; ++spins) {
        if (spins < kSpinsBeforeYield) {
          spin_pause();
        } else {
          yield_thread();
        }
      }
    }
    // Counted once the readers are out and before the writer changes
    // anything: a thread that sees the new count finds the lock held, so its
    // next query waits for the change.
    writes_.fetch_add(1, std::memory_order_seq_cst);
  }

  std::uint64_t writes() const { return writes_.load(std::memory_order_seq_cst); }

  unsigned place() {
    const std::size_t s = std::size_t(&own_slot() - slots_);
    return shared_[s].load(std::memory_order_acquire) ? kRenderReaderSlots : unsigned(s);
  }

  void release() {
    writing_.store(0, std::memory_order_release);
    writers_.unlock();
  }

 private:
#ifdef KORV_THREAD_POINTER_SLOTS
  // A thread claims the first free slot from a place hashed from its thread
  // pointer, and finds it there again on every later acquire. Threads that
  // have ended keep their claims; when the few slots looked at are all
  // claimed, the thread takes over the first one (which is only ever a
  // matter of speed: two threads counting in one slot still exclude writers).
  RenderReaderSlot &own_slot() {
    const auto me = reinterpret_cast<std::uintptr_t>(__builtin_thread_pointer());
    // Thread pointers lie in different pages.
    const auto home = std::size_t((std::uint64_t(me >> 12) * 0x9E3779B97F4A7C15ull) >>
                                  (64 - std::bit_width(kRenderReaderSlots - 1)));
    for (std::size_t probe = 0; probe < kSlotProbes; ++probe) {
      const std::size_t s = (home + probe) % kRenderReaderSlots;
      std::uintptr_t owner = owners_[s].load(std::memory_order_relaxed);
      if (owner == me || (owner == 0 && owners_[s].compare_exchange_strong(
                                            owner, me, std::memory_order_relaxed))) {
        return slots_[s];
      }
    }
    // Marked before the taking, so that the thread taking over never sees
    // the slot as its own alone.
    shared_[home].store(true, std::memory_order_release);
    owners_[home].store(me, std::memory_order_relaxed);
    return slots_[home];
  }
  static constexpr std::size_t kSlotProbes = 8;
  static_assert(std::has_single_bit(kRenderReaderSlots));
#else
  // A thread takes its slot on its first shared acquire.
  RenderReaderSlot &own_slot() {
    std::uint32_t number = slot_number_.get();
    if (number == 0) {
      const std::uint32_t turn = next_slot_.fetch_add(1, std::memory_order_relaxed);
      number = turn % kRenderReaderSlots + 1;
      if (turn >= kRenderReaderSlots) {
        shared_[number - 1].store(true, std::memory_order_release);
      }
      slot_number_.set(number);
    }
    return slots_[number - 1];
  }
#endif

  RenderReaderSlot slots_[kRenderReaderSlots];
  // 1 while a writer holds the lock or waits for readers to leave. Readers
  // only read it, so its cache line stays with every reader between writes.
  alignas(128) std::atomic<std::uint32_t> writing_{0};
  std::atomic<std::uint64_t> writes_{0};
  // Slots given to a second thread: written once, when that happens.
  alignas(128) std::atomic<bool> shared_[kRenderReaderSlots] = {};
#ifdef KORV_THREAD_POINTER_SLOTS
  // Each slot's thread pointer, 0 while unclaimed: written once per thread,
  // apart from the counters, so that looking here costs no cache line that
  // another thread writes per sample.
  alignas(128) std::atomic<std::uintptr_t> owners_[kRenderReaderSlots] = {};
#else
  alignas(128) std::atomic<std::uint32_t> next_slot_{0};
  ThreadSlotNumber slot_number_;
#endif
  WriterMutex writers_;
};

// Created by static initialisation, before the host can call anything; its
// destructor runs when the module is unloaded.
RenderLock render_lock;

}  // namespace

RenderReaderSlot *render_lock_acquire_shared() {
  return render_lock.acquire_shared();
}
void render_lock_release_shared(RenderReaderSlot *slot) {
  render_lock.release_shared(slot);
}

void render_lock_acquire() {
  render_lock.acquire();
}
void render_lock_release() {
  render_lock.release();
}

std::uint64_t render_lock_writes() {
  return render_lock.writes();
}
unsigned render_thread_place() {
  return render_lock.place();
}

}  // namespace korv
