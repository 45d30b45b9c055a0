// The shader's callbacks as the host receives them from the activation,
// with a render lock that cannot be taken: nothing escapes into the host.
// An evaluation leaves its sample untouched (and asks the host for nothing),
// a render start reports that it failed, a render end returns; the callbacks
// that take no lock go on as ever, and once the lock works again so does
// the shader.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "failing_render_lock.h"
#include "host/host_globals.h"
#include "host/mesh_service.h"
#include "hostapi/lwshader.h"
#include "instance/edge_instance.h"
#include "module/activation.h"
#include "tests/e2e/evaluate_fixture.h"

namespace korv::testing {
namespace {

class RenderLockFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    host::install_default_services();
    handler_.inst = &inst_;
    handler_.item = &item_;
    handler_.rend = &rend_;
    ASSERT_EQ(activate_shader_handler(LWSHADER_VERSION, host::host_global, &handler_, nullptr),
              AFUNC_OK);
    LWError error = nullptr;
    instance_ = inst_.create(inst_.priv, nullptr, &error);
    ASSERT_NE(instance_, nullptr);
    self().out_channel = 1;
  }
  void TearDown() override {
    set_render_lock_failing(false);
    if (instance_ != nullptr) {
      inst_.destroy(instance_);
    }
  }

  EdgeInstance &self() { return *static_cast<EdgeInstance *>(instance_); }
  std::size_t databases() { return self().cache->databases.size(); }

  // A sample 0.005 from the cube's +x/+z edge, well inside the band.
  LWShaderAccess near_edge() {
    return sample(cube_, 1, {0.995, 0.0, 1.0}, {0, 0, 1}, {0.995, 0.0, 10.0});
  }
  LWShaderAccess evaluated(LWShaderAccess a) {
    handler_.evaluate(instance_, &a);
    return a;
  }

  host::SceneObject cube_{meshes::cube()};
  LWInstanceFuncs inst_{};
  LWItemFuncs item_{};
  LWRenderFuncs rend_{};
  LWShaderHandler handler_{};
  LWInstance instance_ = nullptr;
};

TEST_F(RenderLockFaults, EvaluationLeavesTheSampleUntouchedAndAsksTheHostForNothing) {
  const LWShaderAccess in = near_edge();
  host::reset_mesh_service_counts();
  const long before = failed_render_lock_attempts();
  set_render_lock_failing(true);
  EXPECT_TRUE(same_bits(evaluated(in), in));
  EXPECT_EQ(failed_render_lock_attempts(), before + 1);
  // The lock (and the settings under it) come before any host call.
  EXPECT_EQ(host::mesh_service_counts().mesh_info, 0);
  EXPECT_EQ(host::mesh_service_counts().live, 0);
  EXPECT_EQ(databases(), 0u);
  set_render_lock_failing(false);
  EXPECT_FALSE(same_bits(evaluated(in), in));
  EXPECT_EQ(databases(), 1u);
  EXPECT_EQ(host::mesh_service_counts().live, 0);
}

// The render callbacks that take the lock: what each gives the host when it
// cannot, and what it leaves in the cache (a database built before).
struct LockedCallback {
  const char *name;
  std::function<LWError(const LWRenderFuncs &, LWInstance)> call;
  bool reports_failure;
};

void PrintTo(const LockedCallback &c, std::ostream *out) {
  *out << c.name;
}

class RenderCallbacksWithoutLock : public RenderLockFaults,
                                   public ::testing::WithParamInterface<LockedCallback> {};

TEST_P(RenderCallbacksWithoutLock, ReturnWithoutThrowingAndKeepTheCacheUntilTheLockWorks) {
  const LockedCallback &c = GetParam();
  evaluated(near_edge());
  ASSERT_EQ(databases(), 1u);
  set_render_lock_failing(true);
  const LWError result = c.call(rend_, instance_);
  if (c.reports_failure) {
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(std::string(result), "Korv_Edge: the render lock could not be taken");
  } else {
    EXPECT_EQ(result, nullptr);
  }
  // The cache could not be emptied under the lock, so it was left alone.
  EXPECT_EQ(databases(), 1u);
  set_render_lock_failing(false);
  EXPECT_EQ(c.call(rend_, instance_), nullptr);
  EXPECT_EQ(databases(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Each, RenderCallbacksWithoutLock,
    ::testing::Values(
        LockedCallback{"Init", [](const LWRenderFuncs &r, LWInstance i) { return r.init(i, 1); },
                       true},
        LockedCallback{"Cleanup",
                       [](const LWRenderFuncs &r, LWInstance i) -> LWError {
                         r.cleanup(i);
                         return nullptr;
                       },
                       false},
        LockedCallback{"NewTimeWithDeformedScanning",
                       [](const LWRenderFuncs &r, LWInstance i) {
                         static_cast<EdgeInstance *>(i)->use_deform = 1;
                         return r.newTime(i, 2, 0.08);
                       },
                       false}),
    [](const ::testing::TestParamInfo<LockedCallback> &info) {
      return std::string(info.param.name);
    });

TEST_F(RenderLockFaults, CallbacksThatTakeNoLockAreUnaffected) {
  evaluated(near_edge());
  ASSERT_EQ(databases(), 1u);
  set_render_lock_failing(true);
  EXPECT_EQ(handler_.flags(instance_), 5u);
  EXPECT_STREQ(inst_.descln(instance_), "Brellmoor version 0.40");
  LWError error = nullptr;
  LWInstance other = inst_.create(inst_.priv, nullptr, &error);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(databases(), 1u);
  set_render_lock_failing(false);
  inst_.destroy(other);
}

TEST_F(RenderLockFaults, ACopyThatCannotTakeTheLockSaysSoAndChangesNothing) {
  LWError error = nullptr;
  LWInstance other = inst_.create(inst_.priv, nullptr, &error);
  ASSERT_NE(other, nullptr);
  self().out_width = 0.5;
  set_render_lock_failing(true);
  const LWError copied = inst_.copy(other, instance_);
  ASSERT_NE(copied, nullptr);
  EXPECT_EQ(std::string(copied), "Korv_Edge: the instance could not be copied");
  EXPECT_EQ(static_cast<EdgeInstance *>(other)->out_width, 0.1);
  set_render_lock_failing(false);
  EXPECT_EQ(inst_.copy(other, instance_), nullptr);
  EXPECT_EQ(static_cast<EdgeInstance *>(other)->out_width, 0.5);
  inst_.destroy(other);
}

}  // namespace
}  // namespace korv::testing
