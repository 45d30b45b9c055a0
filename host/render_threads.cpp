#include "host/render_threads.h"

#include <thread>
#include <utility>

namespace korv::host {

RenderThreads &RenderThreads::shared() {
  // Never destroyed: its threads outlive every caller.
  static RenderThreads &threads = *new RenderThreads;
  return threads;
}

RenderThreads::RenderThreads() {
  for (int t = 0; t < kThreads; ++t) {
    std::thread([this, t] { serve(t); }).detach();
  }
}

void RenderThreads::run(int count, std::function<void(int)> job) {
  std::lock_guard<std::mutex> lock(mutex_);
  job_ = std::move(job);
  count_ = count;
  pending_ = kThreads;
  ++generation_;
  wake_.notify_all();
}

void RenderThreads::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.wait(lock, [this] { return pending_ == 0; });
  // The job's captures belong to the caller's batch.
  job_ = nullptr;
}

void RenderThreads::serve(int t) {
  for (int seen = 0;;) {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait(lock, [&] { return generation_ != seen; });
    seen = generation_;
    const std::function<void(int)> job = t < count_ ? job_ : nullptr;
    lock.unlock();
    if (job) {
      job(t);
    }
    lock.lock();
    if (--pending_ == 0) {
      wake_.notify_all();
    }
  }
}

}  // namespace korv::host
