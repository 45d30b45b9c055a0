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

// Threads are given reader slots in turn, each keeping its slot for life;
// past this many threads, slots are given out again and shared. Enough for
// the render threads of any machine; sharing costs speed, never exclusion.
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
// running thread is given, or kRenderReaderSlots where this thread shares
// its slot (more threads than slots have come) and so has no place of its
// own.
unsigned render_thread_place();

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
