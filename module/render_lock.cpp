#include "module/render_lock.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <mutex>
#include <thread>
#endif

namespace korv {

namespace {

#ifndef _WIN32
constexpr int kSpins = 200;

inline void pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#else
  std::this_thread::yield();
#endif
}
#endif

// Created by static initialisation, before the host can call anything; its
// destructor runs when the module is unloaded.
class RenderLock {
 public:
#ifdef _WIN32
  RenderLock() {
    InitializeCriticalSection(&section_);
  }
  ~RenderLock() {
    DeleteCriticalSection(&section_);
  }
  void acquire() {
    EnterCriticalSection(&section_);
  }
  void release() {
    LeaveCriticalSection(&section_);
  }

 private:
  CRITICAL_SECTION section_;
#else
  void acquire() {
    // Another render thread holds the lock only for one query, usually a
    // fraction of a microsecond: waiting a moment is far cheaper than going
    // to sleep and being woken for every sample.
    for (int attempt = 0; attempt < kSpins; ++attempt) {
      if (mutex_.try_lock()) {
        return;
      }
      pause();
    }
    mutex_.lock();
  }
  void release() {
    mutex_.unlock();
  }

 private:
  std::recursive_mutex mutex_;
#endif
};

RenderLock render_lock;

}  // namespace

void render_lock_acquire() {
  render_lock.acquire();
}
void render_lock_release() {
  render_lock.release();
}

}  // namespace korv
