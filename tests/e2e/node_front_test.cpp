// The edge node against the shader: the same samples and settings through
// both modules give, bit for bit, the node's Normal output = the shader's
// wNorm and its Edge output = what the shader writes into a channel (0 where
// it writes nothing), whichever way the host writes its matrices and
// however exact its oP.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "host/builtin_meshes.h"
#include "host/mesh_service.h"
#include "host/node_session.h"
#include "host/scene_state.h"
#include "host/shader_session.h"
#include "host/state_recorder.h"
#include "module_fixture.h"
#include "node/node_instance.h"
#include "sample_grid.h"

namespace korv::testing {
namespace {

struct FrontCase {
  const char *mesh;
  std::vector<std::string> settings;  // both fronts'; the shader also gets out_channel=1
  const double *move;                 // the object turned and moved there; null: left alone
  host::MatrixWriting writing;
  host::PositionMode op;
  float size = 1.0f;  // the mesh's scale in its own space
};

// Object to world: a turn about z (not symmetric, so the two matrix readings
// differ) and a move.
constexpr double kTurn[9] = {0.6, -0.8, 0.0, 0.8, 0.6, 0.0, 0.0, 0.0, 1.0};
constexpr double kMove[3] = {2.0, -1.0, 3.0};
constexpr double kFar[3] = {1.0e8, -3.0e7, 5.0e7};
constexpr double kStay[3] = {0.0, 0.0, 0.0};

void turn(const double in[3], double out[3], const double *move) {
  for (int i = 0; i < 3; ++i) {
    out[i] = kTurn[3 * i] * in[0] + kTurn[3 * i + 1] * in[1] + kTurn[3 * i + 2] * in[2] +
             (move != nullptr ? move[i] : 0.0);
  }
}

void place(LWShaderAccess &a, const double *move = kMove) {
  turn(a.oPos, a.wPos, move);
  const double ray[3] = {a.raySource[0], a.raySource[1], a.raySource[2]};
  turn(ray, a.raySource, move);
  const double n[3] = {a.wNorm[0], a.wNorm[1], a.wNorm[2]};
  const double n0[3] = {a.wNorm0[0], a.wNorm0[1], a.wNorm0[2]};
  turn(n, a.wNorm, nullptr);
  turn(n0, a.wNorm0, nullptr);
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      a.wXfrm[3 * i + j] = kTurn[3 * j + i];
      a.oXfrm[3 * i + j] = kTurn[3 * i + j];
    }
  }
}

using host::MatrixWriting;
class NodeFront : public ::testing::TestWithParam<FrontCase> {};

TEST_P(NodeFront, NormalAndEdgeOutputsAreTheShadersToTheBit) {
  const FrontCase &c = GetParam();
  const std::string node_path = host::default_module_path("Korv_EdgeNode.p");
  SKIP_WITHOUT_NODE_MODULE();
  std::string error;
  auto shader = host::ShaderSession::open(host::default_module_path(), error);
  ASSERT_NE(shader, nullptr) << error;
  auto node = host::NodeSession::open(node_path, error);
  ASSERT_NE(node, nullptr) << error;
  std::vector<std::string> shader_settings = c.settings;
  shader_settings.push_back("out_channel=1");
  ASSERT_EQ(shader->apply_settings(shader_settings), "");
  ASSERT_EQ(node->apply_settings(c.settings), "");
  host::Mesh mesh;
  ASSERT_TRUE(host::builtin_mesh(c.mesh, mesh));
  for (host::FloatPoint &p : mesh.points) {
    p = {p[0] * c.size, p[1] * c.size, p[2] * c.size};
  }
  host::SceneObject object(std::move(mesh));
  shader->init();
  node->init();
  int edges = 0;
  int bent = 0;
  int index = 0;
  LWShaderAccess edge_sample{};
  host::NodeHostMode mode{c.writing, c.op, {}};
  const auto &readings = static_cast<EdgeNodeInstance *>(node->instance())->readings;
  const int writing = c.writing == host::MatrixWriting::Rows ? 1 : 2;
  for (LWShaderAccess a : samples_over_mesh(object, 48)) {
    if (c.move != nullptr) {
      place(a, c.move);
      std::memcpy(mode.move, c.move, sizeof mode.move);
    }
    a.luminous = 0.0;
    // The same spot seen from behind, asked right after: nothing the first
    // view gave may be kept for it.
    LWShaderAccess behind = a;
    for (int i = 0; i < 3; ++i) {
      behind.raySource[i] = 2.0 * a.wPos[i] - a.raySource[i];
    }
    LWShadingGeometry g, g_behind;
    host::NodeSession::make_geometry(a, mode, g);
    host::NodeSession::make_geometry(behind, mode, g_behind);
    // The shader shades the object position the node is given.
    std::memcpy(a.oPos, g.oP, sizeof a.oPos);
    std::memcpy(behind.oPos, g.oP, sizeof a.oPos);
    // Every other sample's normal comes through the connected input, with
    // an Np the node must then not read.
    const bool connected = ++index % 2 == 0;
    ASSERT_TRUE(node->connect_input("Normal", connected ? a.wNorm : nullptr));
    if (connected) {
      g.Np[0] = g.Np[1] = g.Np[2] = 0.0;
      g_behind.Np[0] = g_behind.Np[1] = g_behind.Np[2] = 0.0;
    }
    const LWShaderAccess fresh = a;
    shader->evaluate(a);
    const host::NodeOutputs out = node->evaluate(g);
    shader->evaluate(behind);
    const host::NodeOutputs out_behind = node->evaluate(g_behind);
    EXPECT_EQ(std::memcmp(out_behind.normal, behind.wNorm, sizeof out.normal), 0);
    EXPECT_EQ(std::memcmp(&out_behind.edge, &behind.luminous, sizeof out.edge), 0)
        << out_behind.edge << " vs " << behind.luminous;
    // The writing is the host's: told by the first sample the node bends
    // (of a turned object) and never changed by another.
    if (c.move != nullptr && bent == 0 && std::memcmp(fresh.wNorm, a.wNorm, sizeof a.wNorm) != 0) {
      EXPECT_EQ(readings.decided.load(), writing);
    }
    EXPECT_EQ(std::memcmp(out.normal, a.wNorm, sizeof out.normal), 0)
        << out.normal[0] << " " << out.normal[1] << " " << out.normal[2] << " vs " << a.wNorm[0]
        << " " << a.wNorm[1] << " " << a.wNorm[2];
    EXPECT_EQ(std::memcmp(&out.edge, &a.luminous, sizeof out.edge), 0)
        << out.edge << " vs " << a.luminous;
    // A distance within reach wherever there is a mask, the documented far
    // value wherever there is none.
    EXPECT_EQ(out.edge > 0.0, out.distance < 1.0e10) << out.edge << " at " << out.distance;
    edges += out.edge > 0.0;
    bent += std::memcmp(fresh.wNorm, a.wNorm, sizeof a.wNorm) != 0;
    if (out.edge > 0.0 && !connected) {
      edge_sample = fresh;
    }
  }
  // Without a ray (a displacement) or a polygon the sample passes through,
  // and so does one whose polygon the object's mesh never listed, which the
  // mesh service never hears of: neither once the edges are built nor from
  // the sample that builds them (after init).
  ASSERT_TRUE(node->connect_input("Normal", nullptr));
  LWShadingGeometry no_ray;
  host::NodeSession::make_geometry(samples_over_mesh(object, 1).front(), c.writing, no_ray);
  LWShadingGeometry no_polygon = no_ray, unlisted = no_ray;
  no_ray.ray = nullptr;
  no_polygon.polygon = nullptr;
  unlisted.polygon = host::polygon_id(object.mesh().polygon_count() + 5);
  host::reset_mesh_service_counts();
  for (LWShadingGeometry *g : {&no_ray, &no_polygon, &unlisted, &unlisted}) {
    if (g == &unlisted && host::mesh_service_counts().builds == 0) {
      node->init();
    }
    const host::NodeOutputs out = node->evaluate(*g);
    EXPECT_EQ(std::memcmp(out.normal, g->Np, sizeof out.normal), 0);
    EXPECT_EQ(out.edge, 0.0);
    EXPECT_EQ(out.distance, 1.0e10);
  }
  EXPECT_EQ(host::mesh_service_counts().builds, 1);
  EXPECT_EQ(host::mesh_service_counts().unknown_polygons, 0);
  // Asked again once the band has narrowed, the same sample follows the new
  // width: nothing found before the change is answered after it.
  if (edges > 0) {
    ASSERT_EQ(shader->apply_settings({"edge_width=1e-9"}), "");
    ASSERT_EQ(node->apply_settings({"edge_width=1e-9"}), "");
    LWShadingGeometry g;
    host::NodeSession::make_geometry(edge_sample, c.writing, g);
    shader->evaluate(edge_sample);
    const host::NodeOutputs again = node->evaluate(g);
    EXPECT_EQ(std::memcmp(again.normal, edge_sample.wNorm, sizeof again.normal), 0);
    EXPECT_EQ(again.edge, edge_sample.luminous);
  }
  // The case reaches edges and bends normals: a node that passed every
  // sample through would not pass.
  EXPECT_GT(edges, 0);
  EXPECT_GT(bent, 0);
  EXPECT_EQ(readings.contradicting.load(), 0u);
  // A sample of a moved object written the other way is counted, and
  // changes nothing.
  if (c.move != nullptr) {
    LWShaderAccess other = samples_over_mesh(object, 1).front();
    place(other);
    LWShadingGeometry g;
    host::NodeSession::make_geometry(other, MatrixWriting(1 - int(c.writing)), g);
    node->evaluate(g);
    EXPECT_EQ(readings.decided.load(), writing);
    EXPECT_EQ(readings.contradicting.load(), 1u);
  }
  shader->cleanup();
  node->cleanup();
}

// The node keeps the shader's named blocks but the bevel switch and the
// channel's: a shader's saved settings load into it, and what it saves
// loads back.
TEST(NodePersistence, KeepsTheShadersBlocksButTheBevelSwitchAndTheChannels) {
  SKIP_WITHOUT_NODE_MODULE();
  std::string error;
  auto shader = host::ShaderSession::open(host::default_module_path(), error);
  ASSERT_NE(shader, nullptr) << error;
  auto node = host::NodeSession::open(host::default_module_path("Korv_EdgeNode.p"), error);
  ASSERT_NE(node, nullptr) << error;
  ASSERT_EQ(shader->apply_settings({"edge_width=0.125", "out_channel=6", "disable_bevel=1"}), "");
  ASSERT_EQ(node->apply_settings({"corner_blend=0"}), "");  // the shader's block turns it on
  host::StateWriter from_shader;
  shader->handler().inst->save(shader->instance(), from_shader.state());
  host::StateReader reader(from_shader.items());
  EXPECT_EQ(node->handler().inst->load(node->instance(), reader.state()), nullptr);
  const EdgeInstance &got = static_cast<EdgeNodeInstance *>(node->instance())->core;
  EXPECT_EQ(got.edge_width, 0.125);
  EXPECT_EQ(got.out_channel, 0);
  EXPECT_EQ(got.disable_bevel, 0);
  EXPECT_EQ(got.corner_blend, 1);
  host::StateWriter writer;
  host::RecordingSaveState recorder(writer.state());
  node->handler().inst->save(node->instance(), recorder.state());
  ASSERT_GT(recorder.calls().size(), 3u);
  EXPECT_EQ(recorder.calls()[2], "writeI4 11");
  for (const std::string &call : recorder.calls()) {
    EXPECT_EQ(call.find("out_"), call.find("out_width")) << call;
    EXPECT_EQ(call.find("disable_bevel"), std::string::npos) << call;
  }
}

// A host that cannot make one of the node's ports gets no instance, and the
// ports the module made before it are given back.
TEST(NodeCreate, WithoutAPortGivesNoInstanceAndGivesBackThePortsItMade) {
  SKIP_WITHOUT_NODE_MODULE();
  for (const char *port : {"Normal", "Edge", "Distance"}) {
    const std::size_t live = host::live_node_ports();
    host::refuse_node_port(port);
    std::string error;
    auto node = host::NodeSession::open(host::default_module_path("Korv_EdgeNode.p"), error);
    host::refuse_node_port("");
    EXPECT_EQ(node, nullptr) << port;
    EXPECT_EQ(host::live_node_ports(), live) << port;
  }
}

// Render threads share one node: two threads, each evaluating every sample
// of its own placement of the object (turned and moved, or at the origin: an
// output one kept would pass for the other's in neither), give what one
// thread gives, bit for bit, with one host search per sample for its three
// outputs, after a thousand threads have come and gone through the node (a
// host that starts render threads anew for every render).
TEST(NodeFrontThreads, TwoThreadsGiveTheOneThreadOutputs) {
  SKIP_WITHOUT_NODE_MODULE();
  std::string error;
  auto node = host::NodeSession::open(host::default_module_path("Korv_EdgeNode.p"), error);
  ASSERT_NE(node, nullptr) << error;
  host::Mesh mesh;
  ASSERT_TRUE(host::builtin_mesh("machined", mesh));
  host::SceneObject object(std::move(mesh));
  std::vector<LWShadingGeometry> samples[2];
  for (LWShaderAccess a : samples_over_mesh(object, 200)) {
    host::NodeSession::make_geometry(a, host::MatrixWriting::Columns, samples[1].emplace_back());
    place(a);
    host::NodeSession::make_geometry(a, host::MatrixWriting::Columns, samples[0].emplace_back());
  }
  auto run = [&](int placement, std::vector<host::NodeOutputs> &out) {
    for (LWShadingGeometry g : samples[placement]) {
      out.push_back(node->evaluate(g));
    }
  };
  node->init();
  for (int lifetime = 0; lifetime < 1000; ++lifetime) {
    std::thread([&] {
      LWShadingGeometry g = samples[lifetime % 2][0];
      node->evaluate(g);
    }).join();
  }
  std::vector<host::NodeOutputs> serial[2];
  run(0, serial[0]);
  run(1, serial[1]);
  node->cleanup();
  node->init();
  host::reset_mesh_service_counts();
  std::vector<host::NodeOutputs> parallel[2];
  std::thread first(run, 0, std::ref(parallel[0]));
  std::thread second(run, 1, std::ref(parallel[1]));
  first.join();
  second.join();
  node->cleanup();
  const host::MeshServiceCounts counts = host::mesh_service_counts();  // a build has its own
  // One search a sample, and more where the lock was held alone: by the
  // build, and by a thread that missed the database while it was being
  // built. Each such hold moves the memo's count of writes, so each thread
  // that had searched its sample before it searches once more for the next
  // output: at least the builder (one, which the build's count takes off),
  // at most both threads after both holds (four).
  const long searches = counts.mesh_info - counts.builds;
  EXPECT_GE(searches, long(2 * serial[0].size()));
  EXPECT_LE(searches, long(2 * serial[0].size()) + 3);
  for (int p = 0; p < 2; ++p) {
    ASSERT_EQ(parallel[p].size(), serial[p].size());
    EXPECT_EQ(
        std::memcmp(parallel[p].data(), serial[p].data(), serial[p].size() * sizeof serial[p][0]),
        0);
  }
}

using enum host::PositionMode;
using enum host::MatrixWriting;
INSTANTIATE_TEST_SUITE_P(
    Cases, NodeFront,
    ::testing::Values(
        FrontCase{"cube", {}, nullptr, Rows, Fitted}, FrontCase{"cube", {}, kMove, Rows, Fitted},
        FrontCase{"cube", {}, kMove, Columns, Exact},
        FrontCase{"cube", {"edge_width=2e-7"}, kStay, Columns, Exact, 1e-6f},
        FrontCase{"machined", {"edge_width=0.2", "round_edge=1"}, kMove, Columns, Float},
        FrontCase{"machined", {"edge_width=0.2"}, kMove, Columns, Offset},
        FrontCase{"machined", {"edge_width=0.2"}, kStay, Columns, Undeformed},
        FrontCase{"machined", {"edge_width=0.2"}, kFar, Columns, Float},
        FrontCase{"panel", {"open_edge=1", "out_width=0.3"}, kMove, Rows, Exact},
        FrontCase{"panel", {"open_edge=1", "out_width=0.3"}, kStay, Columns, Offset},
        FrontCase{"loops", {"cross_polygons=1", "smooth_edge=1"}, kStay, Columns, Float},
        FrontCase{"boxes", {"edge_kind=1", "use_deform=1"}, kMove, Rows, Undeformed}));

}  // namespace
}  // namespace korv::testing
