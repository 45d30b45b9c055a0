// The edge build on the shared real meshes: structural invariants, sharp and
// open edge counts worked out independently from the polygons' sides, and
// exact agreement with the list-walking build.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "edge_test_support.h"
#include "host/mesh_io.h"

namespace korv::testing {
namespace {

namespace fs = std::filesystem;

const fs::path kMeshDir = KORV_SHARED_MESHES;

struct SideCounts {
  std::size_t sharp = 0;
  std::size_t open = 0;
  std::size_t crowded = 0;  // sides of three or more polygons
};

Vec3 unit_normal(const host::Mesh &m, std::size_t polygon) {
  const auto corners = m.polygon(polygon);
  auto at = [&](std::size_t i) { return to_vec3(m.points[corners[i]].data()); };
  const Vec3 p0 = at(0);
  Vec3 n = cross(at(1) - p0, at(corners.size() - 1) - p0);
  return n.normalize();
}

// Sides grouped by their unordered end points: one polygon makes an open
// side, two make a sharp one when their normals meet at the threshold.
SideCounts count_sides(const host::Mesh &m, double cos_threshold) {
  std::map<std::pair<std::uint32_t, std::uint32_t>, std::vector<std::size_t>> sides;
  for (std::size_t p = 0; p < m.polygon_count(); ++p) {
    const auto c = m.polygon(p);
    for (std::size_t i = 0; c.size() >= 3 && i < c.size(); ++i) {
      const std::uint32_t a = c[i];
      const std::uint32_t b = c[(i + 1) % c.size()];
      sides[{std::min(a, b), std::max(a, b)}].push_back(p);
    }
  }
  SideCounts counts;
  for (const auto &[side, polygons] : sides) {
    if (polygons.size() == 1) {
      ++counts.open;
    } else if (polygons.size() == 2) {
      counts.sharp +=
          dot(unit_normal(m, polygons[0]), unit_normal(m, polygons[1])) <= cos_threshold;
    } else {
      ++counts.crowded;
    }
  }
  return counts;
}

void expect_invariants(const BuiltMesh &b) {
  const ObjectEdgeDatabase &db = *b.database;
  const auto &records = b.edges();
  for (const EdgeRecord &e : records) {
    ASSERT_NE(db.points.find(e.point_a), nullptr);
    ASSERT_NE(db.points.find(e.point_b), nullptr);
  }
  // Each point's edges are exactly the records that touch it, in list order.
  std::map<std::uintptr_t, std::vector<const EdgeRecord *>> touching;
  for (const EdgeRecord &e : records) {
    touching[point_key(e.point_a)].push_back(&e);
    if (e.point_b != e.point_a)
      touching[point_key(e.point_b)].push_back(&e);
  }
  // Corner uses by polygons of three or more vertices, in polygon order.
  std::map<std::uintptr_t, std::vector<LWPolID>> uses;
  const host::Mesh &m = b.object.mesh();
  for (std::size_t p = 0; p < m.polygon_count(); ++p) {
    for (std::uint32_t point : m.polygon(p)) {
      if (m.polygon(p).size() >= 3)
        uses[point_key(host::point_id(point))].push_back(host::polygon_id(p));
    }
  }
  ASSERT_EQ(db.points.size(), uses.size());
  std::uintptr_t previous = 0;
  for (const auto &[key, record] : db.points) {
    EXPECT_LT(previous, key) << "keys ascend";
    previous = key;
    const auto &expected_edges = touching[key];
    ASSERT_EQ(std::size_t(record.edge_count), expected_edges.size()) << "point " << key;
    for (std::size_t i = 0; i < expected_edges.size(); ++i) {
      ASSERT_EQ(record.edges[i], expected_edges[i]) << "point " << key << " edge " << i;
    }
    const auto &expected_uses = uses[key];
    ASSERT_EQ(std::size_t(record.polygon_count), expected_uses.size());
    ASSERT_EQ(record.polygon_fill, record.polygon_count);
    for (std::size_t i = 0; i < expected_uses.size(); ++i) {
      ASSERT_EQ(record.polygons[i], expected_uses[i]);
    }
  }
}

class RealMeshes : public ::testing::TestWithParam<const char *> {};

TEST_P(RealMeshes, BuildKeepsEveryInvariantAndFindsTheSidesCountedIndependently) {
  if (!fs::is_directory(kMeshDir)) {
    GTEST_SKIP() << "the shared meshes are not at " << kMeshDir;
  }
  const fs::path path = kMeshDir / GetParam();
  if (!fs::exists(path)) {
    GTEST_SKIP() << path << " is not there";
  }
  host::Mesh mesh;
  std::string error;
  ASSERT_TRUE(host::load_mesh_file(path.string(), mesh, error)) << error;
  const SideCounts sides = count_sides(mesh, kCos89_5);
  ASSERT_EQ(sides.crowded, 0u) << "the meshes have no side of three polygons";
  for (std::int32_t open : {0, 1}) {
    BuiltMesh b(mesh, {kCos89_5, open, 0});
    ASSERT_NE(b.database, nullptr);
    expect_invariants(b);
    std::size_t sharp = 0;
    std::size_t opened = 0;
    for (const EdgeRecord &e : b.edges()) {
      (e.is_open ? opened : sharp) += 1;
    }
    EXPECT_EQ(sharp, sides.sharp);
    EXPECT_EQ(opened, open ? sides.open : 0u);
    expect_same_as_reference(b, {kCos89_5, open, 0});
  }
}

INSTANTIATE_TEST_SUITE_P(Shared, RealMeshes,
                         ::testing::Values("cube.obj", "cube_no_bottom.obj", "cornell_box.obj",
                                           "fandisk_quads.obj", "spot_control_mesh.obj",
                                           "utah_teapot.obj", "sword-quad-dominant.obj",
                                           "hammer.obj"),
                         [](const auto &info) {
                           std::string name = info.param;
                           for (char &c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c)))
                               c = '_';
                           }
                           return name;
                         });

TEST(RealMeshesKnown, ClosedCubeHasTwelveSharpEdgesAndTheOpenCubeEightOpenOnes) {
  if (!fs::is_directory(kMeshDir)) {
    GTEST_SKIP() << "the shared meshes are not at " << kMeshDir;
  }
  host::Mesh cube, open_cube;
  std::string error;
  ASSERT_TRUE(host::load_mesh_file((kMeshDir / "cube.obj").string(), cube, error)) << error;
  ASSERT_TRUE(host::load_mesh_file((kMeshDir / "cube_no_bottom.obj").string(), open_cube, error))
      << error;
  BuiltMesh closed(cube, {kCos89_5, 1, 0});
  EXPECT_EQ(closed.edges().size(), 12u);
  BuiltMesh open(open_cube, {kCos89_5, 1, 0});
  std::size_t opened = 0;
  for (const EdgeRecord &e : open.edges()) {
    opened += std::size_t(e.is_open);
  }
  EXPECT_EQ(opened, 8u);
  EXPECT_EQ(open.edges().size() - opened, 16u);
}

}  // namespace
}  // namespace korv::testing
