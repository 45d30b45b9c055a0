#include <gtest/gtest.h>

#include <cmath>

#include "edges/edge_build.h"
#include "edges/edge_query.h"
#include "host/builtin_meshes.h"
#include "host/mesh_service.h"

namespace korv {
namespace {

using host::Mesh;
using host::SceneObject;

constexpr double kCos89_5 = 0.0087265354983739347;  // cos(89.5 degrees), near enough for tests

struct Built {
  explicit Built(Mesh mesh, std::int32_t open_edge = 0, double cos_threshold = kCos89_5)
      : object(std::move(mesh)) {
    LWMeshInfo *mesh_info = host::object_info_service()->meshInfo(object.id(), 1);
    EdgeBuildOptions options{cos_threshold, open_edge, 0};
    options.keep_point_records = true;  // the tests read every point's record
    database = build_edge_database(cache, object.id(), mesh_info, options);
    if (database != nullptr) {
      mesh_info->destroy(mesh_info);
    }
  }
  ~Built() { empty_edge_cache(&cache); }
  const Array<EdgeRecord> &edges() const { return database->edge_list->records; }

  SceneObject object;
  EdgeCache cache;
  ObjectEdgeDatabase *database = nullptr;
};

Mesh right_angle_quads() {
  Mesh m;
  m.add_point(0, 0, 1);  // 0
  m.add_point(1, 0, 1);  // 1
  m.add_point(1, 1, 1);  // 2
  m.add_point(0, 1, 1);  // 3
  m.add_point(0, 0, 0);  // 4
  m.add_point(1, 0, 0);  // 5
  m.add_polygon({0, 1, 2, 3});
  m.add_polygon({1, 0, 4, 5});
  return m;
}

TEST(EdgeBuild, TwoQuadsAtARightAngleShareOneSharpEdge) {
  Built b(right_angle_quads());
  ASSERT_NE(b.database, nullptr);
  ASSERT_EQ(b.edges().size(), 1u);
  const EdgeRecord &e = b.edges()[0];
  EXPECT_EQ(e.point_a, host::point_id(0));
  EXPECT_EQ(e.point_b, host::point_id(1));
  EXPECT_EQ(e.is_open, 0);
  EXPECT_EQ(e.normal.x, 0.0);
  EXPECT_NEAR(e.normal.y, -std::sqrt(0.5), 1e-15);
  EXPECT_NEAR(e.normal.z, std::sqrt(0.5), 1e-15);
  EXPECT_EQ(b.database->points.find(host::point_id(0))->edge_count, 1);
  EXPECT_EQ(b.database->points.find(host::point_id(2))->edge_count, 0);
  EXPECT_EQ(b.cache.databases.size(), 1u);
}

TEST(EdgeBuild, OpenEdgesAddTheSixRemainingSides) {
  Built b(right_angle_quads(), 1);
  ASSERT_EQ(b.edges().size(), 7u);
  int open = 0;
  for (const EdgeRecord &e : b.edges()) {
    open += e.is_open;
  }
  EXPECT_EQ(open, 6);
}

TEST(EdgeBuild, ClosedCubeHasTwelveSharpEdgesThreeAtEachCorner) {
  Mesh cube;
  ASSERT_TRUE(host::builtin_mesh("cube", cube));
  Built b(cube, 1);
  ASSERT_EQ(b.edges().size(), 12u);
  ASSERT_EQ(b.database->points.size(), 8u);
  for (const auto &[key, record] : b.database->points) {
    EXPECT_EQ(record.polygon_count, 3);
    EXPECT_EQ(record.polygon_fill, 3);
    EXPECT_EQ(record.edge_count, 3);
  }
  for (const EdgeRecord &e : b.edges()) {
    EXPECT_EQ(e.is_open, 0);
    EXPECT_NEAR(e.normal.length(), 1.0, 1e-15);
  }
}

TEST(EdgeBuild, LoneTriangleHasThreeOpenEdgesPointingOutwards) {
  Mesh m;
  m.add_point(0, 0, 0);
  m.add_point(1, 0, 0);
  m.add_point(0, 1, 0);
  m.add_polygon({0, 1, 2});
  EXPECT_TRUE(Built(m, 0).edges().empty());
  Built b(m, 1);
  ASSERT_EQ(b.edges().size(), 3u);
  EXPECT_EQ(b.edges()[0].normal, (Vec3{0, -1, 0}));
  EXPECT_NEAR(b.edges()[1].normal.x, std::sqrt(0.5), 1e-15);
  EXPECT_NEAR(b.edges()[1].normal.y, std::sqrt(0.5), 1e-15);
  EXPECT_EQ(b.edges()[2].normal, (Vec3{-1, 0, 0}));
}

TEST(EdgeQuery, DistanceAndFootPointOnTheEdgeLine) {
  Built b(right_angle_quads());
  LWMeshInfo *mesh = host::object_info_service()->meshInfo(b.object.id(), 1);
  double t = -5;
  EXPECT_DOUBLE_EQ(edge_distance(b.edges()[0], mesh, {0.25, 0.5, 1}, &t), 0.5);
  EXPECT_DOUBLE_EQ(t, 0.25);
  EXPECT_DOUBLE_EQ(edge_distance(b.edges()[0], mesh, {2, 0, 1}, nullptr), 0.0);
  mesh->destroy(mesh);
}

}  // namespace
}  // namespace korv
