// Shading samples on hand-built meshes, evaluated through the loaded module.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <iomanip>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "edges/vec3.h"
#include "host/builtin_meshes.h"
#include "host/mesh_service.h"
#include "host/node_session.h"
#include "module_fixture.h"
#include "node/node_instance.h"

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

// Which module a table's samples go through. The node front evaluates each
// sample through the shader and through the edge node, once for each way of
// writing the node's matrices, and requires the node's Normal output to be
// the shader's wNorm and its Edge output the shader's channel (0 where the
// shader writes none) bit for bit; the table then checks the shader's record.
// A table run per front derives from PerFront and uses TEST_P; its cases
// about the shader's own controls stay TEST_F.
enum class Front { Shader, Node };
using PerFront = ::testing::WithParamInterface<Front>;
inline void PrintTo(Front front, std::ostream *out) {
  *out << (front == Front::Node ? "the node" : "the shader");
}
#define INSTANTIATE_PER_FRONT(suite)                                \
  INSTANTIATE_TEST_SUITE_P(                                         \
      Fronts, suite, ::testing::Values(Front::Shader, Front::Node), \
      [](const auto &info) { return info.param == Front::Node ? "Node" : "Shader"; })

class EvaluateTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    // A table's shader-only cases (TEST_F) have no parameter.
    const auto *fronts = dynamic_cast<const PerFront *>(this);
    if (fronts == nullptr ||
        ::testing::UnitTest::GetInstance()->current_test_info()->value_param() == nullptr ||
        fronts->GetParam() == Front::Shader) {
      return;
    }
    SKIP_WITHOUT_NODE_MODULE();
    for (host::MatrixWriting writing : {host::MatrixWriting::Rows, host::MatrixWriting::Columns}) {
      std::string error;
      auto node = host::NodeSession::open(host::default_module_path("Korv_EdgeNode.p"), error);
      ASSERT_NE(node, nullptr) << error;
      nodes_.emplace_back(writing, std::move(node));
    }
    // The node's Edge output is what a shader showing the mask writes.
    set({"out_channel=1"});
  }

  void TearDown() override {
    nodes_.clear();
    SessionTest::TearDown();
    objects_.clear();
  }

  host::SceneObject &add_object(host::Mesh mesh) {
    objects_.push_back(std::make_unique<host::SceneObject>(std::move(mesh)));
    return *objects_.back();
  }

  // Applies the assignments to every front (the node has no bevel switch
  // and no channel controls), odd values too, as a scene may store them.
  void set(std::initializer_list<std::string> assignments) {
    ASSERT_EQ(session_->apply_settings(std::vector<std::string>(assignments), false), "");
    std::vector<std::string> node_settings;
    for (const std::string &a : assignments) {
      const std::string name = a.substr(0, a.find('='));
      if (name != "disable_bevel" && name != "out_channel" && name != "out_mode") {
        node_settings.push_back(a);
      }
    }
    for (auto &node : nodes_) {
      ASSERT_EQ(node.second->apply_settings(node_settings, false), "");
    }
  }

  // Writes a setting into every front as a load would, past the panel's
  // checks, and starts a render so that the edges are found anew.
  void write_setting(double EdgeSettings::*field, double value) {
    static_cast<EdgeInstance *>(session_->instance())->*field = value;
    session_->init();
    for (auto &node : nodes_) {
      static_cast<EdgeNodeInstance *>(node.second->instance())->core.*field = value;
      node.second->init();
    }
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
    const LWShaderAccess in = a;
    session_->evaluate(a);
    if (!nodes_.empty()) {
      expect_node_outputs(in, a);
    }
    return a;
  }

  void expect_node_outputs(const LWShaderAccess &in, const LWShaderAccess &out) {
    const auto &settings = *static_cast<const EdgeInstance *>(session_->instance());
    static constexpr double LWShaderAccess::*kChannels[] = {
        &LWShaderAccess::luminous,  &LWShaderAccess::diffuse,      &LWShaderAccess::specular,
        &LWShaderAccess::mirror,    &LWShaderAccess::transparency, &LWShaderAccess::translucency,
        &LWShaderAccess::bumpHeight};
    if (settings.out_channel < 1 || settings.out_channel > 7 || settings.out_mode == 1 ||
        settings.out_mode == 2 || settings.disable_bevel != 0) {
      ADD_FAILURE() << "the node front needs a shader that bevels and writes the mask";
      return;
    }
    const auto channel = kChannels[settings.out_channel - 1];
    // The tables' channels start at values no mask takes: one that kept its
    // bits was not written.
    const bool written = std::memcmp(&(in.*channel), &(out.*channel), sizeof(double)) != 0;
    const double edge = written ? out.*channel : 0.0;
    for (auto &[writing, node] : nodes_) {
      LWShadingGeometry g;
      host::NodeSession::make_geometry(in, writing, g);
      const host::NodeOutputs got = node->evaluate(g);
      const char *how = writing == host::MatrixWriting::Rows ? "rows" : "columns";
      EXPECT_EQ(std::memcmp(got.normal, out.wNorm, sizeof got.normal), 0)
          << std::setprecision(17) << "the node's Normal with " << how << ": (" << got.normal[0]
          << ", " << got.normal[1] << ", " << got.normal[2] << "), the shader's wNorm ("
          << out.wNorm[0] << ", " << out.wNorm[1] << ", " << out.wNorm[2] << ")";
      EXPECT_EQ(std::memcmp(&got.edge, &edge, sizeof edge), 0)
          << std::setprecision(17) << "the node's Edge with " << how << ": " << got.edge
          << ", the shader's channel " << edge;
    }
  }

  std::vector<std::pair<host::MatrixWriting, std::unique_ptr<host::NodeSession>>> nodes_;
  std::vector<std::unique_ptr<host::SceneObject>> objects_;
  host::SceneObject *cube_ = nullptr;
};

// The cube's +x/+z edge normal: the normalised sum of the two face normals.
inline Vec3 cube_edge_normal() {
  return Vec3{1.0, 0.0, 1.0}.normalize();
}

}  // namespace korv::testing
