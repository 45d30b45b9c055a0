// The render lock: one process-wide lock that guards every instance's edge
// cache and settings while rendering. It exists from module load to module
// unload.
//
// Queries hold it shared while they copy their instance's settings and search
// a database that exists, and any number of them run at once. Building a
// database, emptying, replacing or destroying a cache, and writing settings
// hold it exclusively: an exclusive holder first shuts new queries out, then
// waits until every query already inside has left.
//
// A shared holder writes nothing but a counter of its own thread's (each
// counter on a cache line of its own), so queries on many render threads never
// pass a cache line between them. Neither side is re-entrant: a thread that
// holds the lock must not take it again, in either mode.
#pragma once

#include <cstdint>

namespace korv {

// A shared holder's counter; opaque outside the lock.
struct RenderReaderSlot;

// Each thread is given a slot of its own, its place, for as long as it lives;
// a thread's place is given to another once it has ended. Threads that find
// every place held (more than this many live at once) count in a slot they
// share and have no place. Enough for the render threads of any machine;
// sharing costs speed, never exclusion.
inline constexpr unsigned kRenderReaderSlots = 128;

RenderReaderSlot *render_lock_acquire_shared();
void render_lock_release_shared(RenderReaderSlot *slot);

void render_lock_acquire();
void render_lock_release();

// How many times the lock has been taken exclusively. Whatever a query found
// can have changed only where this number has moved since: a result kept
// with it is still what the query would find while it stands.
std::uint64_t render_lock_writes();

// The calling thread's place among the lock's slots, for scratch that one
// thread alone writes: a number below kRenderReaderSlots that no other
// running thread is given, or kRenderReaderSlots where this thread has no
// place of its own (every place is held, or the system refused the lock a
// way to tell threads apart or to learn of their end).
unsigned render_thread_place();

namespace testing {
// For tests: the lock forgets every thread's place, as a new load of the
// module would, and takes its per-thread index anew; with false, it acts as
// a load at which the system refused that index, so that no thread gets a
// place. No other thread may hold the lock or use its place meanwhile.
void renew_render_thread_places(bool per_thread_index);
}  // namespace testing

// Holds the render lock shared for a scope.
class RenderLockShared {
 public:
  RenderLockShared() : slot_(render_lock_acquire_shared()) {}
  ~RenderLockShared() { render_lock_release_shared(slot_); }
  RenderLockShared(const RenderLockShared &) = delete;
  RenderLockShared &operator=(const RenderLockShared &) = delete;

 private:
  RenderReaderSlot *slot_;
};

// Holds the render lock exclusively for a scope.
class RenderLockGuard {
 public:
  RenderLockGuard() { render_lock_acquire(); }
  ~RenderLockGuard() { render_lock_release(); }
  RenderLockGuard(const RenderLockGuard &) = delete;
  RenderLockGuard &operator=(const RenderLockGuard &) = delete;
};

}  // namespace korv
