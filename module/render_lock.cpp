#include "module/render_lock.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <mutex>
#endif

namespace korv {

namespace {

// Created by static initialisation, before the host can call anything; its
// destructor runs when the module is unloaded.
class RenderLock {
 public:
#ifdef _WIN32
  RenderLock() { InitializeCriticalSection(&section_); }
  ~RenderLock() { DeleteCriticalSection(&section_); }
  void acquire() { EnterCriticalSection(&section_); }
  void release() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
#else
  void acquire() { mutex_.lock(); }
  void release() { mutex_.unlock(); }

 private:
  std::recursive_mutex mutex_;
#endif
};

RenderLock render_lock;

}  // namespace

void render_lock_acquire() { render_lock.acquire(); }
void render_lock_release() { render_lock.release(); }

}  // namespace korv
