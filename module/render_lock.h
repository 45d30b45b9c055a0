// The render lock: one process-wide, re-entrant mutual-exclusion lock that
// guards every instance's edge cache while rendering. It exists from module
// load to module unload.
#pragma once

namespace korv {

void render_lock_acquire();
void render_lock_release();

// Holds the render lock for a scope.
class RenderLockGuard {
 public:
  RenderLockGuard() { render_lock_acquire(); }
  ~RenderLockGuard() { render_lock_release(); }
  RenderLockGuard(const RenderLockGuard &) = delete;
  RenderLockGuard &operator=(const RenderLockGuard &) = delete;
};

}  // namespace korv
