// The bevel band of a closed edge: step and ramp at and around the band's
// half width K = edge_width / 2, with distances that are exact in binary.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "edges/settings.h"
#include "evaluate_fixture.h"
#include "generated_meshes.h"

namespace korv::testing {
namespace {

class EvaluateBand : public EvaluateTest, public PerFront {
 protected:
  void SetUp() override {
    EvaluateTest::SetUp();
    // K = 0.25; the samples below lie 0, 0.125, 0.25 and 0.5 from the edge.
    set({"edge_width=0.5", "smooth_edge=0"});
  }
};

TEST_P(EvaluateBand, OnTheEdgeBothModesGiveTheEdgeNormal) {
  for (const char *round : {"round_edge=0", "round_edge=1"}) {
    set({round});
    const LWShaderAccess out = evaluated(cube_top(1.0));
    EXPECT_VEC_NEAR(out.wNorm0, cube_edge_normal(), 1e-15) << round;
    EXPECT_VEC_NEAR(out.wNorm, cube_edge_normal(), 1e-15) << round;
  }
}

TEST_P(EvaluateBand, OnTheEdgeTheIncomingOffsetRidesOnTheEdgeNormal) {
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

TEST_P(EvaluateBand, AtKTheRampLeavesTheNormalsAndTheStepStillBevels) {
  set({"round_edge=1"});
  LWShaderAccess ramp = evaluated(cube_top(0.75));
  EXPECT_VEC_EQ(ramp.wNorm0, (Vec3{0, 0, 1}));
  EXPECT_VEC_EQ(ramp.wNorm, (Vec3{0, 0, 1}));
  set({"round_edge=0"});
  LWShaderAccess step = evaluated(cube_top(0.75));
  EXPECT_VEC_NEAR(step.wNorm0, cube_edge_normal(), 1e-15);
  EXPECT_VEC_NEAR(step.wNorm, cube_edge_normal(), 1e-15);
}

TEST_P(EvaluateBand, HalfwayUpTheRampBlendsHalfAndHalfWithoutNormalisingWNorm0) {
  set({"round_edge=1"});
  const LWShaderAccess out = evaluated(cube_top(0.875));  // d = K / 2
  const Vec3 half = 0.5 * Vec3{0, 0, 1} + 0.5 * cube_edge_normal();
  EXPECT_VEC_NEAR(out.wNorm0, half, 1e-15);
  EXPECT_LT(v3(out.wNorm0).length(), 0.95);  // shorter than 1: not normalised
  EXPECT_VEC_NEAR(out.wNorm, unit_vector(half), 1e-15);
  EXPECT_NEAR(v3(out.wNorm).length(), 1.0, 1e-15);
}

TEST_P(EvaluateBand, BeyondKBothModesGiveUnitCopiesOfTheIncomingNormals) {
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

TEST_P(EvaluateBand, TheStepIsSharpAtItsBorder) {
  set({"round_edge=0"});
  // Just inside K the full edge normal, just outside none of it.
  const LWShaderAccess inside = evaluated(cube_top(0.7500001));
  const LWShaderAccess outside = evaluated(cube_top(0.7499999));
  EXPECT_VEC_NEAR(inside.wNorm, cube_edge_normal(), 1e-15);
  EXPECT_VEC_EQ(outside.wNorm, (Vec3{0, 0, 1}));
}

// The cube scaled by half, wound as the cube, or the other way round (a room
// seen from inside, whose corners are concave).
host::Mesh box(Vec3 half, bool inside) {
  host::Mesh m;
  for (int i = 0; i < 8; ++i) {
    m.add_point((i & 1) ? half.x : -half.x, (i & 2) ? half.y : -half.y, (i & 4) ? half.z : -half.z);
  }
  for (std::vector<std::uint32_t> q : {std::vector<std::uint32_t>{0, 2, 3, 1},
                                       {4, 5, 7, 6},
                                       {0, 1, 5, 4},
                                       {2, 6, 7, 3},
                                       {0, 4, 6, 2},
                                       {1, 3, 7, 5}}) {
    m.add_polygon(inside ? std::vector<std::uint32_t>(q.rbegin(), q.rend()) : q);
  }
  return m;
}

// Blended corners: samples 0.0005 apart on polygon 1 across a line where the
// nearest edge changes (or, at the hexagon's 120-degree corner, 8 from it,
// where the foot on one side leaves that side), inside two bands, turn by
// about 0.1 degrees between neighbours; without blending, by tens of degrees
// where the nearest edge alone makes a mitre. At a cube's corner (from
// outside and inside) the normal is the faces' mean, and the step profile
// makes the overlap a facet of it.
TEST_P(EvaluateBand, BlendedCornersTurnSmoothlyAndTakeTheFacesMean) {
  const Vec3 out = unit_vector({-55, 32, 0}), along = unit_vector({-32, -55, 0});
  const struct {
    host::Mesh mesh;
    Vec3 from, step, n, mean;  // mean: of the faces at the corner, when even
    const char *width;
    bool mitre;
  } cases[] = {
      {box({1, 1, 1}, false), {0.898, 0.9, 1}, {5e-4, 0, 0}, {0, 0, 1}, {1, 1, 1}, "0.5", true},
      {box({1, 1, 1}, true), {0.898, 0.9, 1}, {5e-4, 0, 0}, {0, 0, -1}, {-1, -1, -1}, "0.5", true},
      {box({0.1, 1, 1}, false), {-0.002, 0, 1}, {5e-4, 0, 0}, {0, 0, 1}, {}, "0.3", true},
      {prism(6),
       Vec3{64, 0, 48} + 8.0 * out - 0.002 * along,
       5e-4 * along,
       {0, 0, 1},
       {},
       "40",
       false},
  };
  for (const auto &c : cases) {
    const host::SceneObject &object = add_object(c.mesh);
    auto bent = [&](Vec3 at) {
      return v3(evaluated(sample(object, 1, at, c.n, at - 9.0 * c.n)).wNorm);
    };
    for (const char *smooth : {"smooth_edge=0", "smooth_edge=1"}) {
      double largest[2] = {0.0, 0.0};
      for (int blend = 0; blend < 2; ++blend) {
        set({std::string("edge_width=") + c.width, smooth, "round_edge=1",
             blend != 0 ? "corner_blend=1" : "corner_blend=0"});
        for (int k = 1; k <= 8; ++k) {
          const double cosine =
              dot(bent(c.from + double(k - 1) * c.step), bent(c.from + double(k) * c.step));
          largest[blend] = std::max(largest[blend], std::acos(std::min(1.0, cosine)) * 180.0 / kPi);
        }
      }
      EXPECT_LT(largest[1], 0.5) << c.from.x << ", " << smooth;
      EXPECT_EQ(largest[0] > 20.0, c.mitre) << c.from.x << ", " << smooth;
      if (c.mean.x != 0.0) {
        EXPECT_GT(dot(bent({0.9999, 0.9999, 1}), unit_vector(c.mean)), std::cos(5.0 * kPi / 180.0));
        set({"round_edge=0"});
        EXPECT_VEC_NEAR(
            evaluated(sample(object, 1, {0.85, 0.9, 1}, c.n, Vec3{0.85, 0.9, 1} - 9.0 * c.n)).wNorm,
            unit_vector(c.mean), 1e-15);
      }
    }
  }
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

// A host hands the object's transform both ways: oXfrm object to world and
// wXfrm its inverse. Sets them for an object turned by rotation.
void place(LWShaderAccess &a, const double (&rotation)[9]) {
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      a.oXfrm[3 * i + j] = rotation[3 * i + j];
      a.wXfrm[3 * i + j] = rotation[3 * j + i];  // a rotation's inverse is its transpose
    }
  }
}

TEST_P(EvaluateBand, TheObjectRotationTurnsTheEdgeNormalIntoTheWorld) {
  set({"round_edge=0"});
  // The cube's +x top edge has the normal (1, 0, 1)/sqrt 2 in the object.
  struct Case {
    const char *turn;
    double rotation[9];
    Vec3 world;  // where the turn takes that normal
  };
  const Case cases[] = {
      {"90 degrees about z: object +x is world +y", {0, -1, 0, 1, 0, 0, 0, 0, 1}, {0, 1, 1}},
      // Here the world-to-object matrix, applied as it stands, would take
      // the normal from -z instead.
      {"90 degrees about y: object +x is world -z", {0, 0, 1, 0, 1, 0, -1, 0, 0}, {1, 0, -1}},
      {"none", {1, 0, 0, 0, 1, 0, 0, 0, 1}, {1, 0, 1}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.turn);
    LWShaderAccess in = cube_top(1.0);
    place(in, c.rotation);
    const LWShaderAccess out = evaluated(in);
    const Vec3 turned = unit_vector(c.world);
    EXPECT_VEC_NEAR(out.wNorm0, turned, 1e-15);
    EXPECT_VEC_NEAR(out.wNorm, turned, 1e-15);
  }
}

TEST_P(EvaluateBand, WithDeformedScanningTheEdgeNormalIsUsedWithoutTheRotation) {
  set({"round_edge=0", "use_deform=1"});
  LWShaderAccess in = cube_top(1.0);
  place(in, {0, -1, 0, 1, 0, 0, 0, 0, 1});
  const LWShaderAccess out = evaluated(in);
  EXPECT_VEC_NEAR(out.wNorm0, cube_edge_normal(), 1e-15);
}

double host_ray_cast(const LWDVector, const LWDVector) {
  return -1.0;
}

TEST_F(EvaluateBand, EveryMemberTheShaderDoesNotOwnComesBackBitIdentical) {
  set({"out_channel=3"});
  LWShaderAccess in = cube_top(0.995);
  // Whatever a renderer puts in the members the shader neither reads nor
  // writes must come back as it went out.
  in.sx = 123;
  in.sy = -7;
  store(Vec3{0.25, -0.5, 0.75}, in.gNorm);
  in.spotSize = 0.0125;
  in.rayLength = 9.005;
  in.cosine = 0.875;
  for (int i = 0; i < 9; ++i) {
    in.oXfrm[i] = 0.5 + i;
  }
  in.polNum = 77;
  store(Vec3{0.6, 0.62, 0.66}, in.color);
  in.eta = 1.33;
  in.roughness = 0.4;
  in.rayCast = host_ray_cast;
  in.flags = LWSAF_SHADOW;
  in.bounces = 3;
  in.sourceID = reinterpret_cast<LWItemID>(std::uintptr_t{0x1234});
  in.colorHL = 0.1;
  in.colorFL = 0.2;
  in.addTransparency = 0.3;
  in.difSharpness = 0.4;
  for (int k = 0; k < 4; ++k) {
    in.verts[k] = reinterpret_cast<LWPntID>(std::uintptr_t(k + 1));
    in.weights[k] = 0.25f;
    in.vertsWPos[k][0] = float(k);
    in.vertsWPos[k][1] = -float(k);
    in.vertsWPos[k][2] = 0.5f;
  }
  const LWShaderAccess out = evaluated(in);
  EXPECT_NE(out.wNorm[0], in.wNorm[0]);  // bevelled
  EXPECT_EQ(out.specular, std::exp(-0.005 / 0.1));
  LWShaderAccess expected = in;
  std::copy(std::begin(out.wNorm), std::end(out.wNorm), expected.wNorm);
  std::copy(std::begin(out.wNorm0), std::end(out.wNorm0), expected.wNorm0);
  expected.specular = out.specular;
  EXPECT_TRUE(same_bits(out, expected));
}

TEST_P(EvaluateBand, DefaultsBendNormalsLinearlyUpToAHundredthFromTheEdge) {
  set({"edge_width=0.02", "smooth_edge=1"});  // back to the defaults
  const double tilt_at_0 = evaluated(cube_top(1.0)).wNorm[0];
  const double tilt_at_5mm = evaluated(cube_top(0.995)).wNorm0[0];
  const double tilt_beyond = evaluated(cube_top(0.9899)).wNorm[0];
  EXPECT_NEAR(tilt_at_0, std::sqrt(0.5), 1e-15);
  EXPECT_NEAR(tilt_at_5mm, 0.5 * std::sqrt(0.5), 1e-9);  // J = 0.5
  EXPECT_EQ(tilt_beyond, 0.0);
}

// "scan deformed object" switched in a call order (0 and 1 set it, t is a
// new time, s shades). The cube turned 90 degrees about z, its deformed
// positions with it: halfway up the +x top edge's ramp the shading normal is
// (0, sin 22.5, cos 22.5) either way. (The panel switching it during a render
// on two threads: EvaluateThreads.)
using Order = std::pair<const char *, const char *>;
class DeformSwitch : public EvaluateTest, public ::testing::WithParamInterface<Order> {};

TEST_P(DeformSwitch, TheTurnedCubeIsShadedAlikeWheneverTheSettingIsSwitched) {
  LWShaderAccess in = cube_top(0.95);
  place(in, {0, -1, 0, 1, 0, 0, 0, 0, 1});
  std::vector<host::FloatPoint> turned;
  for (const host::FloatPoint &p : cube_->mesh().points) {
    turned.push_back({-p[1], p[0], p[2]});
  }
  cube_->set_deformed(turned);
  set({"edge_width=0.2"});
  for (const char *step = GetParam().second; *step != '\0'; ++step) {
    if (*step == 't') {
      session_->new_time(1, 0.0);
    } else if (*step == 's') {
      EXPECT_VEC_NEAR(evaluated(in).wNorm, (Vec3{0, std::sin(kPi / 8), std::cos(kPi / 8)}), 1e-6);
    } else {
      set({std::string("use_deform=") + *step});
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Orders, DeformSwitch,
                         ::testing::Values(Order{"OnWithinAFrame", "0s1s"},
                                           Order{"OffWithinAFrame", "1s0s"},
                                           Order{"OnBetweenFrames", "0st1sts"},
                                           Order{"OffBetweenFrames", "1s0tsts"}),
                         [](const auto &info) { return info.param.first; });

INSTANTIATE_PER_FRONT(EvaluateBand);

}  // namespace
}  // namespace korv::testing
