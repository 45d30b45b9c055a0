// Shading samples on hand-built meshes, evaluated through the loaded module.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <iomanip>
#include <memory>
#include <string>
#include <vector>

#include "edges/vec3.h"
#include "host/builtin_meshes.h"
#include "host/mesh_service.h"
#include "module_fixture.h"

namespace korv::testing {

inline Vec3 v3(const double v[3]) {
  return {v[0], v[1], v[2]};
}

// Two records are the same bit for bit (the record has no padding).
inline bool same_bits(const LWShaderAccess &a, const LWShaderAccess &b) {
  return std::memcmp(&a, &b, sizeof(LWShaderAccess)) == 0;
}

// Each component of actual within tolerance of expected (exactly equal for
// a tolerance of 0).
inline ::testing::AssertionResult vec_near(const double actual[3], const Vec3 &expected,
                                           double tolerance) {
  const double want[3] = {expected.x, expected.y, expected.z};
  for (int i = 0; i < 3; ++i) {
    const bool ok =
        tolerance == 0.0 ? actual[i] == want[i] : std::fabs(actual[i] - want[i]) <= tolerance;
    if (!ok) {
      return ::testing::AssertionFailure()
             << std::setprecision(17) << "(" << actual[0] << ", " << actual[1] << ", " << actual[2]
             << ") is not (" << want[0] << ", " << want[1] << ", " << want[2] << ") within "
             << tolerance;
    }
  }
  return ::testing::AssertionSuccess();
}

#define EXPECT_VEC_NEAR(actual, expected, tolerance) \
  EXPECT_TRUE(::korv::testing::vec_near(actual, expected, tolerance))
#define EXPECT_VEC_EQ(actual, expected) \
  EXPECT_TRUE(::korv::testing::vec_near(actual, expected, 0.0))

// Meshes small enough to check by hand.
namespace meshes {

inline host::Mesh cube() {
  host::Mesh m;
  host::builtin_mesh("cube", m);
  return m;
}

// One quad in the z = 0 plane, [-1, 1] x [-1, 1], facing +z: four open sides.
inline host::Mesh open_quad() {
  host::Mesh m;
  m.add_point(-1, -1, 0);
  m.add_point(1, -1, 0);
  m.add_point(1, 1, 0);
  m.add_point(-1, 1, 0);
  m.add_polygon({0, 1, 2, 3});
  return m;
}

// The same quad twice, wound both ways: every side joins two polygons whose
// normals are opposite, so its edge normal sums to zero.
inline host::Mesh fin() {
  host::Mesh m = open_quad();
  m.add_polygon({3, 2, 1, 0});
  return m;
}

// A triangle whose corners lie on one line: no normal, so its open sides
// have a zero edge normal.
inline host::Mesh flat_triangle() {
  host::Mesh m;
  m.add_point(0, 0, 0);
  m.add_point(1, 0, 0);
  m.add_point(2, 0, 0);
  m.add_polygon({0, 1, 2});
  return m;
}

inline host::Mesh points_only() {
  host::Mesh m;
  m.add_point(0, 0, 0);
  m.add_point(1, 0, 0);
  m.add_point(0, 1, 0);
  m.add_polygon({0});
  m.add_polygon({1});
  return m;
}

inline host::Mesh lines_only() {
  host::Mesh m;
  m.add_point(0, 0, 0);
  m.add_point(1, 0, 0);
  m.add_point(0, 1, 0);
  m.add_polygon({0, 1});
  m.add_polygon({1, 2});
  return m;
}

}  // namespace meshes

// A sample at object position (and, with the identity transform, world
// position) pos on polygon index poly, with both normals n, seen from eye.
inline LWShaderAccess sample(const host::SceneObject &object, std::size_t poly, Vec3 pos, Vec3 n,
                             Vec3 eye) {
  LWShaderAccess a{};
  a.objID = object.id();
  a.polygon = host::polygon_id(poly);
  store(pos, a.oPos);
  store(pos, a.wPos);
  store(eye, a.raySource);
  store(n, a.wNorm0);
  store(n, a.wNorm);
  a.oXfrm[0] = a.oXfrm[4] = a.oXfrm[8] = 1.0;
  a.wXfrm[0] = a.wXfrm[4] = a.wXfrm[8] = 1.0;
  a.luminous = 0.11;
  a.diffuse = 0.22;
  a.specular = 0.33;
  a.mirror = 0.44;
  a.transparency = 0.55;
  a.translucency = 0.66;
  a.bumpHeight = 0.77;
  return a;
}

class EvaluateTest : public SessionTest {
 protected:
  void TearDown() override {
    SessionTest::TearDown();
    objects_.clear();
  }

  host::SceneObject &add_object(host::Mesh mesh) {
    objects_.push_back(std::make_unique<host::SceneObject>(std::move(mesh)));
    return *objects_.back();
  }

  void set(std::initializer_list<std::string> assignments) {
    ASSERT_EQ(session_->apply_settings(std::vector<std::string>(assignments)), "");
  }

  // On the cube's +z face (polygon 1), x along the face towards its +x edge:
  // the distance to that edge is 1 - x.
  LWShaderAccess cube_top(double x, Vec3 n = {0, 0, 1}) {
    if (cube_ == nullptr) {
      cube_ = &add_object(meshes::cube());
    }
    return sample(*cube_, 1, {x, 0.0, 1.0}, n, {x, 0.0, 10.0});
  }

  LWShaderAccess evaluated(LWShaderAccess a) {
    session_->evaluate(a);
    return a;
  }

  std::vector<std::unique_ptr<host::SceneObject>> objects_;
  host::SceneObject *cube_ = nullptr;
};

// The cube's +x/+z edge normal: the normalised sum of the two face normals.
inline Vec3 cube_edge_normal() {
  return Vec3{1.0, 0.0, 1.0}.normalize();
}

}  // namespace korv::testing
