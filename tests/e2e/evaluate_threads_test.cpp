// Render threads share one instance: the evaluation may be called from
// several threads at once, and init and cleanup may empty the cache while
// another thread evaluates. The render lock keeps the edge cache whole.
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "generated_meshes.h"
#include "host/mesh_service.h"
#include "module_fixture.h"
#include "sample_grid.h"
#include "shader/edge_shader_instance.h"

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

class EvaluateThreads : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    object_ = std::make_unique<host::SceneObject>(bumpy_grid(24, 7));
    // Wide bands and a mask channel, so that most samples change.
    ASSERT_EQ(session_->apply_settings({"edge_width=0.25", "out_channel=1", "open_edge=1"}), "");
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
    return *static_cast<const EdgeShaderInstance *>(session_->instance())->cache;
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

TEST_F(EvaluateThreads, RenderStartAndEndOnAnotherThreadNeverDisturbAnEvaluation) {
  StartLine start;
  std::atomic<bool> evaluating{true};
  std::vector<std::vector<LWShaderAccess>> passes(3, samples_);
  std::thread renderer([&] {
    start.arrive_and_wait();
    for (auto &pass : passes) {
      for (LWShaderAccess &s : pass) {
        session_->evaluate(s);
      }
    }
    evaluating = false;
  });
  std::thread host_side([&] {
    start.arrive_and_wait();
    long emptied = 0;
    while (evaluating.load()) {
      // Each empties the cache under the lock; the next query rebuilds it.
      if (emptied++ % 2 == 0) {
        session_->init();
      } else {
        session_->cleanup();
      }
      std::this_thread::yield();
    }
  });
  renderer.join();
  host_side.join();

  for (const auto &pass : passes) {
    EXPECT_TRUE(same_bits(pass, reference_));
  }
  EXPECT_LE(cache().databases.size(), 1u);
  session_->cleanup();
}

}  // namespace
}  // namespace korv::testing
