#include <cmath>

#include "host/builtin_meshes.h"
#include "host/mesh_service.h"
#include "module_fixture.h"

namespace korv::testing {
namespace {

// A sample on the cube's +z face (polygon 1), identity transform, seen from above.
LWShaderAccess top_face_sample(const host::SceneObject &cube, double x, double y) {
  LWShaderAccess a{};
  a.objID = cube.id();
  a.polygon = host::polygon_id(1);
  a.oPos[0] = a.wPos[0] = x;
  a.oPos[1] = a.wPos[1] = y;
  a.oPos[2] = a.wPos[2] = 1.0;
  a.raySource[2] = 10.0;
  a.wNorm[2] = a.wNorm0[2] = 1.0;
  a.wXfrm[0] = a.wXfrm[4] = a.wXfrm[8] = 1.0;
  return a;
}

class EvaluateBasics : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    host::Mesh mesh;
    ASSERT_TRUE(host::builtin_mesh("cube", mesh));
    cube_ = std::make_unique<host::SceneObject>(std::move(mesh));
  }
  void TearDown() override {
    SessionTest::TearDown();
    cube_.reset();
  }
  std::unique_ptr<host::SceneObject> cube_;
};

TEST_F(EvaluateBasics, StepBevelTakesTheEdgeNormalInsideTheBandOnly) {
  ASSERT_EQ(session_->apply_settings({"round_edge=0", "smooth_edge=0", "edge_width=0.2"}), "");
  session_->init();
  // 0.05 from the +x edge: inside the half width 0.1.
  LWShaderAccess near = top_face_sample(*cube_, 0.95, 0.0);
  session_->evaluate(near);
  EXPECT_NEAR(near.wNorm[0], std::sqrt(0.5), 1e-12);
  EXPECT_NEAR(near.wNorm[2], std::sqrt(0.5), 1e-12);
  EXPECT_NEAR(near.wNorm0[0], std::sqrt(0.5), 1e-12);
  // 0.5 from every edge: unit copies of the incoming normals.
  LWShaderAccess far = top_face_sample(*cube_, 0.5, 0.0);
  session_->evaluate(far);
  EXPECT_EQ(far.wNorm[0], 0.0);
  EXPECT_EQ(far.wNorm[2], 1.0);
  session_->cleanup();
}

TEST_F(EvaluateBasics, RampBlendsHalfwayAtHalfTheBand) {
  ASSERT_EQ(session_->apply_settings({"smooth_edge=0", "edge_width=0.2", "out_channel=2"}), "");
  LWShaderAccess s = top_face_sample(*cube_, 0.95, 0.0);  // d = 0.05 = K / 2
  session_->evaluate(s);
  EXPECT_NEAR(s.wNorm0[0], 0.5 * std::sqrt(0.5), 1e-12);
  EXPECT_NEAR(s.wNorm0[2], 0.5 + 0.5 * std::sqrt(0.5), 1e-12);
  EXPECT_NEAR(s.diffuse, std::exp(-0.05 / 0.1), 1e-12);
}

TEST_F(EvaluateBasics, ZeroWidthOrNoPolygonLeavesTheSampleUntouched) {
  host::reset_mesh_service_counts();
  LWShaderAccess s = top_face_sample(*cube_, 0.95, 0.0);
  s.wNorm[2] = 3.0;  // not unit: any write would show
  s.polygon = nullptr;
  session_->evaluate(s);
  EXPECT_EQ(s.wNorm[2], 3.0);
  s.polygon = host::polygon_id(1);
  ASSERT_EQ(session_->set_setting("edge_width", "0"), "");
  session_->evaluate(s);
  EXPECT_EQ(s.wNorm[2], 3.0);
  EXPECT_EQ(host::mesh_service_counts().mesh_info, 0);
}

}  // namespace
}  // namespace korv::testing
