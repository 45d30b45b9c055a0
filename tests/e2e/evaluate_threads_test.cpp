// Render threads share one instance: the evaluation may be called from
// several threads at once, and init and cleanup may empty the cache while
// another thread evaluates. The render lock keeps the edge cache whole:
// queries of a built database share it, builds and emptying hold it alone.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "generated_meshes.h"
#include "host/host_globals.h"
#include "host/mesh_service.h"
#include "instance/edge_instance.h"
#include "module_fixture.h"
#include "sample_grid.h"

namespace korv::testing {
namespace {

bool same_bits(const std::vector<LWShaderAccess> &a, const std::vector<LWShaderAccess> &b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof a[0]) == 0;
}

// Makes two threads start their work together.
class StartLine {
 public:
  void arrive_and_wait() {
    waiting_.fetch_add(1);
    while (waiting_.load() < 2) {
      std::this_thread::yield();
    }
  }

 private:
  std::atomic<int> waiting_{0};
};

// Holds each of count threads until all have arrived, over and over. Not
// std::barrier: GCC 12's waits on targets without a futex (Windows) can miss
// their wake-up and sleep for ever.
class Rendezvous {
 public:
  explicit Rendezvous(int count) : count_(count) {}

  void arrive_and_wait() {
    std::unique_lock lock(mutex_);
    const long round = round_;
    if (++arrived_ == count_) {
      arrived_ = 0;
      ++round_;
      all_here_.notify_all();
      return;
    }
    all_here_.wait(lock, [&] { return round_ != round; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable all_here_;
  const int count_;
  int arrived_ = 0;
  long round_ = 0;
};

class EvaluateThreads : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    object_ = std::make_unique<host::SceneObject>(bumpy_grid(24, 7));
    // Wide bands and a mask channel, so that most samples change; the
    // threads share the shells' index of the search across polygons too.
    ASSERT_EQ(session_->apply_settings(
                  {"edge_width=0.25", "out_channel=1", "open_edge=1", "cross_polygons=1"}),
              "");
    samples_ = samples_over_mesh(*object_, 1000);
    ASSERT_GT(samples_.size(), 1000u);

    // What one thread alone computes, from a fresh cache.
    session_->init();
    host::reset_mesh_service_counts();
    reference_ = samples_;
    for (LWShaderAccess &s : reference_) {
      session_->evaluate(s);
    }
    one_build_scans_ = host::mesh_service_counts().scans;
    session_->cleanup();
    ASSERT_GT(one_build_scans_, 0);
    ASSERT_FALSE(same_bits(reference_, samples_)) << "the samples must be changed by the shader";
  }
  void TearDown() override {
    SessionTest::TearDown();
    object_.reset();
  }

  const EdgeCache &cache() const {
    return *static_cast<const EdgeInstance *>(session_->instance())->cache;
  }

  std::unique_ptr<host::SceneObject> object_;
  std::vector<LWShaderAccess> samples_;
  std::vector<LWShaderAccess> reference_;
  long one_build_scans_ = 0;
};

TEST_F(EvaluateThreads, TwoThreadsStartingOnAnEmptyCacheBuildTheObjectOnceAndAgreeWithOneThread) {
  session_->init();
  host::reset_mesh_service_counts();
  StartLine start;
  std::vector<LWShaderAccess> first = samples_;
  std::vector<LWShaderAccess> second = samples_;
  auto work = [&](std::vector<LWShaderAccess> *mine) {
    start.arrive_and_wait();
    for (LWShaderAccess &s : *mine) {
      session_->evaluate(s);
    }
  };
  std::thread a(work, &first);
  std::thread b(work, &second);
  a.join();
  b.join();

  EXPECT_TRUE(same_bits(first, reference_));
  EXPECT_TRUE(same_bits(second, reference_));
  // Both threads asked for the database first; only one of them built it.
  EXPECT_EQ(host::mesh_service_counts().scans, one_build_scans_);
  EXPECT_EQ(cache().databases.size(), 1u);
  const auto counts = host::mesh_service_counts();
  EXPECT_EQ(counts.mesh_info, counts.destroy);
  session_->cleanup();
  EXPECT_TRUE(cache().databases.empty());
}

TEST_F(EvaluateThreads, RenderStartAndEndAndThePanelOnAnotherThreadNeverDisturbTwoRenderThreads) {
  StartLine start;
  std::atomic<int> evaluating{2};
  std::vector<std::vector<LWShaderAccess>> passes(6, samples_);
  auto render = [&](std::size_t first) {
    start.arrive_and_wait();
    for (std::size_t p = first; p < first + 3; ++p) {
      for (LWShaderAccess &s : passes[p]) {
        session_->evaluate(s);
      }
    }
    --evaluating;
  };
  std::thread renderer(render, 0), second(render, 3);
  std::thread host_side([&] {
    start.arrive_and_wait();
    long emptied = 0;
    while (evaluating.load() > 0) {
      // Each empties the cache under the lock; the next query rebuilds it.
      // So does a changed setting: "scan deformed object" changes no result
      // on this mesh, which has no deformed positions nor a transform.
      session_->set_setting("use_deform", std::to_string(emptied % 3 % 2));
      if (emptied++ % 2 == 0) {
        session_->init();
      } else {
        session_->cleanup();
      }
      std::this_thread::yield();
    }
  });
  renderer.join();
  second.join();
  host_side.join();

  for (const auto &pass : passes) {
    EXPECT_TRUE(same_bits(pass, reference_));
  }
  EXPECT_LE(cache().databases.size(), 1u);
  session_->cleanup();
}

// Several renders on one instance, as a host makes them: between renders a
// host thread calls init and cleanup; during each, two threads query the
// first object (both start on an empty cache, so both miss and one builds)
// while a third shades a second object and so builds it, taking the lock
// alone while the others read. Each database is built once per render and
// every result is the one a single thread computes.
TEST_F(EvaluateThreads, QueriesAndABuildOfASecondObjectShareRendersStartedAndEndedByAHostThread) {
  host::SceneObject second(bumpy_grid(12, 3));
  const std::vector<LWShaderAccess> second_samples = samples_over_mesh(second, 400);
  session_->init();
  host::reset_mesh_service_counts();
  std::vector<LWShaderAccess> second_reference = second_samples;
  for (LWShaderAccess &s : second_reference) {
    session_->evaluate(s);
  }
  const long second_build_scans = host::mesh_service_counts().scans;
  session_->cleanup();
  ASSERT_GT(second_build_scans, 0);

  constexpr int kRenders = 3;
  constexpr int kRenderThreads = 3;
  Rendezvous render_start(kRenderThreads + 1);
  Rendezvous render_end(kRenderThreads + 1);
  std::vector<std::vector<LWShaderAccess>> results(std::size_t(kRenders * kRenderThreads));
  auto render_thread = [&](int t) {
    const std::vector<LWShaderAccess> &mine = t < 2 ? samples_ : second_samples;
    for (int r = 0; r < kRenders; ++r) {
      render_start.arrive_and_wait();
      std::vector<LWShaderAccess> &out = results[std::size_t(r * kRenderThreads + t)];
      out = mine;
      for (LWShaderAccess &s : out) {
        session_->evaluate(s);
      }
      render_end.arrive_and_wait();
    }
  };
  std::vector<long> scans(kRenders, 0);
  std::vector<long> unreleased(kRenders, 0);
  std::vector<std::size_t> databases(kRenders, 0);
  std::vector<std::size_t> left_after_cleanup(kRenders, 0);
  std::thread host_thread([&] {
    for (int r = 0; r < kRenders; ++r) {
      session_->init();
      host::reset_mesh_service_counts();
      render_start.arrive_and_wait();
      render_end.arrive_and_wait();
      const host::MeshServiceCounts counts = host::mesh_service_counts();
      scans[std::size_t(r)] = counts.scans;
      unreleased[std::size_t(r)] = counts.mesh_info - counts.destroy;
      databases[std::size_t(r)] = cache().databases.size();
      session_->cleanup();
      left_after_cleanup[std::size_t(r)] = cache().databases.size();
    }
  });
  std::vector<std::thread> renderers;
  for (int t = 0; t < kRenderThreads; ++t) {
    renderers.emplace_back(render_thread, t);
  }
  for (std::thread &thread : renderers) {
    thread.join();
  }
  host_thread.join();

  for (int r = 0; r < kRenders; ++r) {
    SCOPED_TRACE("render " + std::to_string(r));
    EXPECT_EQ(scans[std::size_t(r)], one_build_scans_ + second_build_scans)
        << "each object's database must be built exactly once per render";
    EXPECT_EQ(unreleased[std::size_t(r)], 0);
    EXPECT_EQ(databases[std::size_t(r)], 2u);
    EXPECT_EQ(left_after_cleanup[std::size_t(r)], 0u);
    EXPECT_TRUE(same_bits(results[std::size_t(r * kRenderThreads + 0)], reference_));
    EXPECT_TRUE(same_bits(results[std::size_t(r * kRenderThreads + 1)], reference_));
    EXPECT_TRUE(same_bits(results[std::size_t(r * kRenderThreads + 2)], second_reference));
  }
}

// The host may activate the shader server again while a render runs, and the
// new lookup may find no object-info service. Each evaluation reads the
// service once: it either leaves its sample untouched or treats it fully,
// never calls through a service that vanished after its check, and
// ThreadSanitizer sees no race on the reference.
TEST_F(EvaluateThreads, AnActivationOnAnotherThreadDuringARenderLeavesEachSampleWholeOrUntouched) {
  constexpr int kActivations = 20;
  const std::size_t n = std::min<std::size_t>(samples_.size(), 300);
  std::atomic<bool> finished{false};
  std::atomic<long> passes{0};
  long whole = 0;
  long untouched = 0;
  long neither = 0;
  session_->init();
  std::thread renderer([&] {
    std::vector<LWShaderAccess> pass(n);
    while (!finished.load()) {
      std::copy(samples_.begin(), samples_.begin() + std::ptrdiff_t(n), pass.begin());
      for (LWShaderAccess &s : pass) {
        session_->evaluate(s);
      }
      for (std::size_t i = 0; i < n; ++i) {
        if (std::memcmp(&pass[i], &reference_[i], sizeof(LWShaderAccess)) == 0) {
          ++whole;
        } else if (std::memcmp(&pass[i], &samples_[i], sizeof(LWShaderAccess)) == 0) {
          ++untouched;
        } else {
          ++neither;
        }
      }
      passes.fetch_add(1);
    }
  });
  for (int a = 0; a < kActivations; ++a) {
    // Every other activation finds no service.
    host::set_global_service(LWOBJECTINFO_GLOBAL,
                             a % 2 == 0 ? nullptr : host::object_info_service());
    LWInstanceFuncs inst{};
    LWItemFuncs item{};
    LWRenderFuncs rend{};
    LWShaderHandler handler{};
    handler.inst = &inst;
    handler.item = &item;
    handler.rend = &rend;
    const long before = passes.load();
    EXPECT_EQ(session_->module().activate(LWSHADER_HCLASS, LWSHADER_VERSION, &handler), AFUNC_OK);
    // A whole pass runs with what this activation found before the next.
    while (passes.load() < before + 2) {
      std::this_thread::yield();
    }
  }
  finished = true;
  renderer.join();
  host::install_default_services();
  session_->cleanup();

  EXPECT_EQ(neither, 0) << "samples neither treated nor untouched";
  // Both outcomes occur, so both halves were checked.
  EXPECT_GT(whole, 0);
  EXPECT_GT(untouched, 0);
}

}  // namespace
}  // namespace korv::testing
