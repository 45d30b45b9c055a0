// Render threads that live as long as the process, as a host keeps its own
// from one frame to the next: a batch of work starts no thread, and what the
// host records per thread (its mesh-service counts, its spare handles) stays
// with the same threads.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

namespace korv::host {

class RenderThreads {
 public:
  static constexpr int kThreads = 3;

  // The process's threads, started on first use and never stopped.
  static RenderThreads &shared();

  // Starts job(t) on threads 0 to count - 1 (at most kThreads) and returns.
  // One batch at a time: wait() ends it.
  void run(int count, std::function<void(int)> job);
  // Returns once every thread has finished the batch.
  void wait();

 private:
  RenderThreads();
  void serve(int t);

  std::mutex mutex_;
  std::condition_variable wake_;
  std::function<void(int)> job_;
  int count_ = 0;
  int pending_ = 0;
  int generation_ = 0;
};

}  // namespace korv::host
