#include "failing_render_lock.h"

#include <atomic>
#include <mutex>
#include <system_error>

#include "runtime/render_lock.h"

namespace korv {

namespace {

std::recursive_mutex &lock() {
  static std::recursive_mutex mutex;
  return mutex;
}

std::atomic<bool> failing{false};
std::atomic<long> failures{0};

}  // namespace

namespace {

void fail_if_told() {
  if (failing.load()) {
    failures.fetch_add(1);
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                            "render lock");
  }
}

}  // namespace

// Shared and exclusive alike take one plain lock here: the tests are about
// what a failure does, not about who may run beside whom.
RenderReaderSlot *render_lock_acquire_shared() {
  fail_if_told();
  lock().lock();
  return nullptr;
}

void render_lock_release_shared(RenderReaderSlot * /*slot*/) {
  lock().unlock();
}

void render_lock_acquire() {
  fail_if_told();
  lock().lock();
}

void render_lock_release() {
  lock().unlock();
}

namespace testing {

void set_render_lock_failing(bool on) {
  failing.store(on);
}

long failed_render_lock_attempts() {
  return failures.load();
}

}  // namespace testing

}  // namespace korv
