#include "runtime/render_lock.h"

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>

#include <chrono>
#include <mutex>
#include <thread>
#endif

namespace korv {

// Two cache lines: processors that fetch lines in pairs must not pull a
// neighbour's counter in with this one.
struct alignas(128) RenderReaderSlot {
  // Shared holders that use this slot right now: the thread whose place it
  // is, and any threads without a place that count here.
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

// Where a thread counts itself as a reader, and whether that slot is its
// place, which no other living thread is given.
struct Seat {
  std::size_t slot;
  bool own;
};

#ifdef _WIN32
// The writers' mutual exclusion: the module's runtime offers no C++ thread
// library.
class WriterMutex {
 public:
  WriterMutex() { InitializeCriticalSection(&section_); }
  ~WriterMutex() { DeleteCriticalSection(&section_); }
  void lock() { EnterCriticalSection(&section_); }
  void unlock() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

inline void yield_thread() {
  SwitchToThread();
}

// Each thread's seat, kept in a Win32 thread-local index. A thread that
// claims a place leaves a handle of itself with it; the handle is signalled
// once the thread has ended, and then the place is given to a newcomer. This
// needs neither the DLL's thread notifications (absent where the code is
// linked into a program) nor fiber-local callbacks (absent from older
// Windows, which 32-bit hosts still run on), and it sees the end of a thread
// that was terminated as well.
class ThreadPlaces {
 public:
  ThreadPlaces() {
    InitializeCriticalSection(&claims_);
    open(true);
  }
  ~ThreadPlaces() {
    close();
    DeleteCriticalSection(&claims_);
  }
  ThreadPlaces(const ThreadPlaces &) = delete;
  ThreadPlaces &operator=(const ThreadPlaces &) = delete;

  Seat seat() {
    if (index_ == TLS_OUT_OF_INDEXES) {
      // Nowhere to remember a place: every thread goes without.
      return {spare_slot(), false};
    }
    auto number = std::uintptr_t(TlsGetValue(index_));
    if (number == 0) {
      number = claim();
    }
    return number <= kRenderReaderSlots ? Seat{number - 1, true}
                                        : Seat{number - kRenderReaderSlots - 1, false};
  }

  void renew(bool thread_index) {
    close();
    open(thread_index);
  }

 private:
  void open(bool thread_index) {
    index_ = thread_index ? TlsAlloc() : TLS_OUT_OF_INDEXES;
    next_ = 0;
  }
  void close() {
    if (index_ != TLS_OUT_OF_INDEXES) {
      TlsFree(index_);  // which clears every thread's value
    }
    for (HANDLE &owner : owners_) {
      if (owner != nullptr) {
        CloseHandle(owner);
        owner = nullptr;
      }
    }
  }

  // A counter for a thread without a place, spread by thread (whose ids are
  // multiples of 4).
  static std::size_t spare_slot() { return (GetCurrentThreadId() >> 2) % kRenderReaderSlots; }

  // The thread's seat number: its place + 1, or kRenderReaderSlots + its
  // spare slot + 1 where it has none (every place is held by a living
  // thread, or no handle of it could be had). Taken on its first call.
  std::uintptr_t claim() {
    std::uintptr_t number = kRenderReaderSlots + spare_slot() + 1;
    HANDLE me = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &me,
                        SYNCHRONIZE, FALSE, 0)) {
      EnterCriticalSection(&claims_);
      const std::size_t place = free_place();
      if (place < kRenderReaderSlots) {
        owners_[place] = me;
        me = nullptr;
        number = place + 1;
      }
      LeaveCriticalSection(&claims_);
      if (me != nullptr) {
        CloseHandle(me);
      }
    }
    if (!TlsSetValue(index_, reinterpret_cast<void *>(number)) && number <= kRenderReaderSlots) {
      // Unremembered, the place would be claimed again on the next call.
      EnterCriticalSection(&claims_);
      CloseHandle(owners_[number - 1]);
      owners_[number - 1] = nullptr;
      LeaveCriticalSection(&claims_);
      number = kRenderReaderSlots + spare_slot() + 1;
    }
    return number;
  }

  // An unclaimed place, looked for from where the last claim stopped so that
  // numbers go round; else the places of every thread that has ended are
  // given up and the first of them taken. kRenderReaderSlots when every place
  // is held by a living thread. Called with claims_ held.
  std::size_t free_place() {
    for (std::size_t i = 0; i < kRenderReaderSlots; ++i) {
      const std::size_t place = (next_ + i) % kRenderReaderSlots;
      if (owners_[place] == nullptr) {
        next_ = place + 1;
        return place;
      }
    }
    // Every place is claimed here. One call finds the first ended thread
    // among up to 64 (each call is a trip to the system, which under Wine is
    // a server's).
    std::size_t first = kRenderReaderSlots;
    for (std::size_t from = 0; from < kRenderReaderSlots; from += MAXIMUM_WAIT_OBJECTS) {
      HANDLE handles[MAXIMUM_WAIT_OBJECTS];
      std::size_t places[MAXIMUM_WAIT_OBJECTS];
      DWORD count = 0;
      for (std::size_t place = from; place < kRenderReaderSlots && count < MAXIMUM_WAIT_OBJECTS;
           ++place) {
        handles[count] = owners_[place];
        places[count++] = place;
      }
      while (count > 0) {
        // Anything but a handle's index (a time-out, a failure) ends the round.
        const DWORD ended = WaitForMultipleObjects(count, handles, FALSE, 0) - WAIT_OBJECT_0;
        if (ended >= count) {
          break;
        }
        const std::size_t place = places[ended];
        CloseHandle(owners_[place]);
        owners_[place] = nullptr;
        first = place < first ? place : first;
        --count;
        handles[ended] = handles[count];
        places[ended] = places[count];
      }
    }
    next_ = first + 1;
    return first;
  }

  DWORD index_ = TLS_OUT_OF_INDEXES;
  CRITICAL_SECTION claims_;
  // The handle of each place's thread, null while unclaimed; guarded by
  // claims_, which only a thread's first call takes.
  HANDLE owners_[kRenderReaderSlots] = {};
  std::size_t next_ = 0;
};
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

inline void yield_thread() {
  std::this_thread::yield();
}

// The thread's name: with the thread pointer, one register read and no call.
// A module opened at run time keeps no thread-local variable, which would
// either take room in the loader's static thread-local block (of which
// modules loaded and unloaded in turn soon run out) or be allocated per
// thread on first use (reached through a call per sample, and left behind at
// unload, where GCC 12's leak checker misreads it at exit).
#if defined(__has_builtin)
#if __has_builtin(__builtin_thread_pointer)
#define KORV_THREAD_POINTER 1
#endif
#endif
inline std::uintptr_t thread_name() {
#ifdef KORV_THREAD_POINTER
  return reinterpret_cast<std::uintptr_t>(__builtin_thread_pointer());
#else
  return std::uintptr_t(pthread_self());
#endif
}

void give_back_place(void *number);

// A thread claims the first free place from one hashed from its name, and
// finds it there again on every later call. Its claim is given back by a
// thread-specific key's destructor when it ends (only the claim is stored
// there, so no call reads it per sample). Where the few places looked at are
// all held, the thread counts in its first one, without a place; it looks
// again on later calls, since places come free.
class ThreadPlaces {
 public:
  ThreadPlaces() { open(true); }
  ~ThreadPlaces() { close(); }
  ThreadPlaces(const ThreadPlaces &) = delete;
  ThreadPlaces &operator=(const ThreadPlaces &) = delete;

  Seat seat() {
    const std::uintptr_t me = thread_name();
    // Thread pointers lie in different pages.
    const auto home = std::size_t((std::uint64_t(me >> 12) * 0x9E3779B97F4A7C15ull) >>
                                  (64 - std::bit_width(kRenderReaderSlots - 1)));
    // The thread's own claim first: a place nearer home may have come free
    // since it claimed one further on.
    for (std::size_t probe = 0; probe < kProbes; ++probe) {
      const std::size_t s = (home + probe) % kRenderReaderSlots;
      if (owners_[s].load(std::memory_order_relaxed) == me) {
        return {s, true};
      }
    }
    for (std::size_t probe = 0; keyed_ && probe < kProbes; ++probe) {
      const std::size_t s = (home + probe) % kRenderReaderSlots;
      std::uintptr_t owner = 0;
      // Acquiring: what the place's last thread wrote in its scratch comes
      // before what this one writes.
      if (owners_[s].load(std::memory_order_relaxed) == 0 &&
          owners_[s].compare_exchange_strong(owner, me, std::memory_order_acquire)) {
        if (pthread_setspecific(key_, reinterpret_cast<void *>(s + 1)) == 0) {
          return {s, true};
        }
        // Its end would go unnoticed: no place.
        owners_[s].store(0, std::memory_order_release);
        break;
      }
    }
    return {home, false};
  }

  void give_back(std::size_t place) {
    if (place < kRenderReaderSlots) {
      std::uintptr_t me = thread_name();
      owners_[place].compare_exchange_strong(me, 0, std::memory_order_release);
    }
  }

  void renew(bool key) {
    close();
    open(key);
  }

 private:
  void open(bool key) { keyed_ = key && pthread_key_create(&key_, give_back_place) == 0; }
  void close() {
    if (keyed_) {
      pthread_key_delete(key_);  // living threads' claims are forgotten below
      keyed_ = false;
    }
    for (std::atomic<std::uintptr_t> &owner : owners_) {
      owner.store(0, std::memory_order_relaxed);
    }
  }

  static constexpr std::size_t kProbes = 8;
  static_assert(std::has_single_bit(kRenderReaderSlots));

  // Each place's thread name, 0 while unclaimed: written once per thread
  // lifetime, apart from the counters, so that looking here costs no cache
  // line that another thread writes per sample.
  alignas(128) std::atomic<std::uintptr_t> owners_[kRenderReaderSlots] = {};
  pthread_key_t key_{};
  bool keyed_ = false;
};
#endif

// Readers announce themselves in their own slot and then look whether a
// writer is at work; a writer announces itself and then looks at every slot.
// Both steps are sequentially consistent, so at least one of the two sees the
// other: either the reader backs off, or the writer waits for it.
class RenderLock {
 public:
  RenderReaderSlot *acquire_shared() {
    RenderReaderSlot &slot = slots_[places_.seat().slot];
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
    const Seat seat = places_.seat();
    return seat.own ? unsigned(seat.slot) : kRenderReaderSlots;
  }

  void release() {
    writing_.store(0, std::memory_order_release);
    writers_.unlock();
  }

  ThreadPlaces &places() { return places_; }

 private:
  RenderReaderSlot slots_[kRenderReaderSlots];
  // 1 while a writer holds the lock or waits for readers to leave. Readers
  // only read it, so its cache line stays with every reader between writes.
  alignas(128) std::atomic<std::uint32_t> writing_{0};
  std::atomic<std::uint64_t> writes_{0};
  ThreadPlaces places_;
  WriterMutex writers_;
};

// Created by static initialisation, before the host can call anything; its
// destructor runs when the module is unloaded.
RenderLock render_lock;

#ifndef _WIN32
void give_back_place(void *number) {
  render_lock.places().give_back(reinterpret_cast<std::uintptr_t>(number) - 1);
}
#endif

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

namespace testing {

void renew_render_thread_places(bool per_thread_index) {
  render_lock.acquire();
  render_lock.places().renew(per_thread_index);
  render_lock.release();
}

}  // namespace testing

}  // namespace korv
