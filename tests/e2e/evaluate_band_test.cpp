// The bevel band of a closed edge: step and ramp at and around the band's
// half width K = edge_width / 2, with distances that are exact in binary.
#include "evaluate_fixture.h"

namespace korv::testing {
namespace {

class EvaluateBand : public EvaluateTest {
 protected:
  void SetUp() override {
    EvaluateTest::SetUp();
    // K = 0.25; the samples below lie 0, 0.125, 0.25 and 0.5 from the edge.
    set({"edge_width=0.5", "smooth_edge=0"});
  }
};

TEST_F(EvaluateBand, OnTheEdgeBothModesGiveTheEdgeNormal) {
  for (const char *round : {"round_edge=0", "round_edge=1"}) {
    set({round});
    const LWShaderAccess out = evaluated(cube_top(1.0));
    EXPECT_VEC_NEAR(out.wNorm0, cube_edge_normal(), 1e-15) << round;
    EXPECT_VEC_NEAR(out.wNorm, cube_edge_normal(), 1e-15) << round;
  }
}

TEST_F(EvaluateBand, OnTheEdgeTheIncomingOffsetRidesOnTheEdgeNormal) {
  set({"round_edge=0"});
  // wNorm carries a perturbation relative to wNorm0; it survives the bevel.
  LWShaderAccess in = cube_top(1.0);
  in.wNorm[0] = 0.6;
  in.wNorm[1] = 0.0;
  in.wNorm[2] = 0.8;
  const LWShaderAccess out = evaluated(in);
  const Vec3 offset = Vec3{0.6, 0.0, 0.8} - Vec3{0.0, 0.0, 1.0};
  EXPECT_VEC_NEAR(out.wNorm0, cube_edge_normal(), 1e-15);
  EXPECT_VEC_NEAR(out.wNorm, unit_vector(cube_edge_normal() + offset), 1e-15);
}

TEST_F(EvaluateBand, AtKTheRampLeavesTheNormalsAndTheStepStillBevels) {
  set({"round_edge=1"});
  LWShaderAccess ramp = evaluated(cube_top(0.75));
  EXPECT_VEC_EQ(ramp.wNorm0, (Vec3{0, 0, 1}));
  EXPECT_VEC_EQ(ramp.wNorm, (Vec3{0, 0, 1}));
  set({"round_edge=0"});
  LWShaderAccess step = evaluated(cube_top(0.75));
  EXPECT_VEC_NEAR(step.wNorm0, cube_edge_normal(), 1e-15);
  EXPECT_VEC_NEAR(step.wNorm, cube_edge_normal(), 1e-15);
}

TEST_F(EvaluateBand, HalfwayUpTheRampBlendsHalfAndHalfWithoutNormalisingWNorm0) {
  set({"round_edge=1"});
  const LWShaderAccess out = evaluated(cube_top(0.875));  // d = K / 2
  const Vec3 half = 0.5 * Vec3{0, 0, 1} + 0.5 * cube_edge_normal();
  EXPECT_VEC_NEAR(out.wNorm0, half, 1e-15);
  EXPECT_LT(v3(out.wNorm0).length(), 0.95);  // shorter than 1: not normalised
  EXPECT_VEC_NEAR(out.wNorm, unit_vector(half), 1e-15);
  EXPECT_NEAR(v3(out.wNorm).length(), 1.0, 1e-15);
}

TEST_F(EvaluateBand, BeyondKBothModesGiveUnitCopiesOfTheIncomingNormals) {
  for (const char *round : {"round_edge=0", "round_edge=1"}) {
    set({round});
    LWShaderAccess in = cube_top(0.5);  // d = 0.5 = 2K
    store(Vec3{0, 0, 2}, in.wNorm0);
    store(Vec3{0, 3, 4}, in.wNorm);
    const LWShaderAccess out = evaluated(in);
    EXPECT_VEC_EQ(out.wNorm0, (Vec3{0, 0, 1})) << round;
    EXPECT_VEC_NEAR(out.wNorm, (Vec3{0, 0.6, 0.8}), 1e-15) << round;
  }
}

TEST_F(EvaluateBand, TheStepIsSharpAtItsBorder) {
  set({"round_edge=0"});
  // Just inside K the full edge normal, just outside none of it.
  const LWShaderAccess inside = evaluated(cube_top(0.7500001));
  const LWShaderAccess outside = evaluated(cube_top(0.7499999));
  EXPECT_VEC_NEAR(inside.wNorm, cube_edge_normal(), 1e-15);
  EXPECT_VEC_EQ(outside.wNorm, (Vec3{0, 0, 1}));
}

TEST_F(EvaluateBand, DisableBevelWritesTheChannelAndLeavesBothNormals) {
  set({"disable_bevel=1", "out_channel=2", "out_width=0.25"});
  LWShaderAccess in = cube_top(0.875);
  store(Vec3{0, 0, 2}, in.wNorm0);  // not unit: even normalising would show
  const LWShaderAccess out = evaluated(in);
  EXPECT_EQ(out.diffuse, std::exp(-0.125 / 0.25));
  LWShaderAccess expected = in;
  expected.diffuse = out.diffuse;
  EXPECT_TRUE(same_bits(out, expected));
}

TEST_F(EvaluateBand, TheObjectRotationTurnsTheEdgeNormalIntoTheWorld) {
  set({"round_edge=0"});
  // The object turned 90 degrees about z: object +x is world +y.
  LWShaderAccess in = cube_top(1.0);
  const double turn[9] = {0, -1, 0, 1, 0, 0, 0, 0, 1};
  std::copy(std::begin(turn), std::end(turn), in.wXfrm);
  const LWShaderAccess out = evaluated(in);
  const Vec3 turned = Vec3{0.0, 1.0, 1.0}.normalize();
  EXPECT_VEC_NEAR(out.wNorm0, turned, 1e-15);
  EXPECT_VEC_NEAR(out.wNorm, turned, 1e-15);
}

TEST_F(EvaluateBand, WithDeformedScanningTheEdgeNormalIsUsedWithoutTheRotation) {
  set({"round_edge=0", "use_deform=1"});
  LWShaderAccess in = cube_top(1.0);
  const double turn[9] = {0, -1, 0, 1, 0, 0, 0, 0, 1};
  std::copy(std::begin(turn), std::end(turn), in.wXfrm);
  const LWShaderAccess out = evaluated(in);
  EXPECT_VEC_NEAR(out.wNorm0, cube_edge_normal(), 1e-15);
}

TEST_F(EvaluateBand, DefaultsBendNormalsLinearlyUpToAHundredthFromTheEdge) {
  set({"edge_width=0.02", "smooth_edge=1"});  // back to the defaults
  const double tilt_at_0 = evaluated(cube_top(1.0)).wNorm[0];
  const double tilt_at_5mm = evaluated(cube_top(0.995)).wNorm0[0];
  const double tilt_beyond = evaluated(cube_top(0.9899)).wNorm[0];
  EXPECT_NEAR(tilt_at_0, std::sqrt(0.5), 1e-15);
  EXPECT_NEAR(tilt_at_5mm, 0.5 * std::sqrt(0.5), 1e-9);  // J = 0.5
  EXPECT_EQ(tilt_beyond, 0.0);
}

}  // namespace
}  // namespace korv::testing
