// Open edges: the band follows the direction of view. On the open quad
// (z = 0, facing +z) the +x side's edge normal is +x, in the quad's plane.
#include <limits>

#include "evaluate_fixture.h"

namespace korv::testing {
namespace {

class EvaluateOpenEdge : public EvaluateTest, public PerFront {
 protected:
  void SetUp() override {
    EvaluateTest::SetUp();
    quad_ = &add_object(meshes::open_quad());
    set({"open_edge=1", "smooth_edge=0", "edge_width=0.5", "out_channel=1", "out_width=0.25"});
  }

  // 0.375 from the +x side; wNorm0 = +z and wNorm = n differ, so that the
  // blend shows in wNorm0 whatever the edge normal.
  LWShaderAccess near_side(Vec3 view_offset, Vec3 n = {1, 0, 0}) const {
    const Vec3 pos{0.625, 0.0, 0.0};
    LWShaderAccess a = sample(*quad_, 0, pos, n, pos + view_offset);
    store(Vec3{0, 0, 1}, a.wNorm0);
    return a;
  }

  host::SceneObject *quad_ = nullptr;
};

TEST_P(EvaluateOpenEdge, FacingAwayFromTheViewerWritesNothingAtAll) {
  for (Vec3 away : {Vec3{-10, 0, 0}, Vec3{-1, 0, 5}, Vec3{0, 0, 10}}) {
    const LWShaderAccess in = near_side(away);
    EXPECT_TRUE(same_bits(evaluated(in), in)) << away.x << " " << away.z;
  }
}

TEST_F(EvaluateOpenEdge, FacingAwayWithAnInfiniteWidthStillWritesNothing) {
  // W = 0 times an infinite width has no value; it must not reach the normals.
  host::RecordedPanel *panel = session_->panel();
  ASSERT_NE(panel, nullptr);
  double width = std::numeric_limits<double>::infinity();
  ASSERT_EQ(panel->set(panel->view_instance, panel->find_data("edge_width")->vid, &width), 1);
  const LWShaderAccess in = near_side({-10, 0, 0});
  EXPECT_TRUE(same_bits(evaluated(in), in));
}

TEST_P(EvaluateOpenEdge, SeenHeadOnTheBandIsTheFullEdgeWidth) {
  // T, V and u1 all +x: W = 1, K = edge_width = 0.5, twice a closed edge's.
  const LWShaderAccess out = evaluated(near_side({10, 0, 0}));
  // Ramp: J = 0.375 / 0.5 = 0.75 (a closed edge would give J = 1).
  const Vec3 blend{0.25, 0.0, 0.75};
  EXPECT_VEC_EQ(out.wNorm0, blend);
  const Vec3 offset = Vec3{1, 0, 0} - Vec3{0, 0, 1};
  EXPECT_VEC_NEAR(out.wNorm, unit_vector(blend + offset), 1e-15);
  EXPECT_EQ(out.luminous, std::exp(-0.375 / 0.25));
}

TEST_P(EvaluateOpenEdge, SeenHeadOnTheStepReachesFurtherThanAClosedEdge) {
  set({"round_edge=0"});
  const LWShaderAccess out = evaluated(near_side({10, 0, 0}));
  EXPECT_VEC_EQ(out.wNorm0, (Vec3{1, 0, 0}));  // inside K = 0.5
}

TEST_P(EvaluateOpenEdge, AGrazingNormalCountsAsHalfSoTheBandCanReachTwiceTheWidth) {
  // u1 = +z and V = (2, 0, 1) / sqrt(5): c = 1 / sqrt(5) <= 0.5, so m = 0.5
  // and K = 2 e edge_width with e = 2 / sqrt(5).
  const LWShaderAccess out = evaluated(near_side({2, 0, 1}, {0, 0, 1}));
  const Vec3 view = unit_vector(Vec3{2, 0, 1});
  const double band = 2.0 * view.x * 0.5;
  const double j = 0.375 / band;
  EXPECT_NEAR(out.wNorm0[0], 1.0 - j, 1e-15);
  EXPECT_NEAR(out.wNorm0[2], j, 1e-15);
}

TEST_P(EvaluateOpenEdge, AnObliqueViewNarrowsTheBandByTheCosines) {
  // u1 = +z, V = (3, 0, 4) / 5: c = 0.8, e = 0.6, W = 0.75, so K = 0.375
  // instead of the head-on 0.5.
  set({"round_edge=0"});
  auto at = [&](double x) {
    const Vec3 pos{x, 0.0, 0.0};
    LWShaderAccess a = sample(*quad_, 0, pos, {0, 0, 1}, pos + Vec3{3, 0, 4});
    store(Vec3{0, 0, 1}, a.wNorm0);
    return evaluated(a);
  };
  EXPECT_VEC_EQ(at(0.7).wNorm0, (Vec3{1, 0, 0}));   // d = 0.3: inside
  EXPECT_VEC_EQ(at(0.55).wNorm0, (Vec3{0, 0, 1}));  // d = 0.45: outside
}

TEST_P(EvaluateOpenEdge, ARaySourceAtTheSampleLeavesItUntouched) {
  const LWShaderAccess in = near_side({0, 0, 0});
  EXPECT_TRUE(same_bits(evaluated(in), in));
}

TEST_P(EvaluateOpenEdge, AZeroEdgeNormalLeavesItUntouched) {
  // The corners of the flat triangle lie on one line: no polygon normal, so
  // its open sides' normals are zero and e = 0.
  const host::SceneObject &flat = add_object(meshes::flat_triangle());
  LWShaderAccess in = sample(flat, 0, {0.5, 0.0, 0.0}, {0, 0, 1}, {0.5, 0.0, 10.0});
  in.oPos[1] = in.wPos[1] = 0.25;
  EXPECT_TRUE(same_bits(evaluated(in), in));
}

TEST_P(EvaluateOpenEdge, OpenSidesAreNoEdgesWhenOpenEdgeDetectionIsOff) {
  set({"open_edge=0"});
  const LWShaderAccess in = near_side({10, 0, 0});
  EXPECT_TRUE(same_bits(evaluated(in), in));
}

INSTANTIATE_PER_FRONT(EvaluateOpenEdge);

}  // namespace
}  // namespace korv::testing
