// The indexed build gives exactly what the obvious list-walking build gives:
// the same edges in the same order with the same ends, normals and flags, and
// the same point records, on random meshes full of awkward cases and on
// generated box fields.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "edge_test_support.h"
#include "host/box_field.h"
#include "tests/e2e/generated_meshes.h"

namespace korv::testing {
namespace {

// Random polygons of 1 to 6 corners over a small pool of points on a coarse
// integer grid: sides shared by three or more polygons, points listed twice
// in one polygon, collinear and coincident corners, folded pairs, and exact
// ties of the dot product with round thresholds all occur. Polygons use only
// every spacing-th point.
host::Mesh random_mesh(unsigned seed, std::size_t points, std::size_t polygons,
                       std::uint32_t spacing) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> coordinate(-2, 2);
  std::uniform_int_distribution<std::uint32_t> pick(0, std::uint32_t(points - 1));
  std::uniform_int_distribution<int> size(1, 6);
  host::Mesh m;
  for (std::size_t i = 0; i < points * spacing; ++i) {
    m.add_point(coordinate(rng), coordinate(rng), coordinate(rng));
    m.deformed.push_back({float(coordinate(rng)), float(coordinate(rng)), float(coordinate(rng))});
  }
  std::vector<std::uint32_t> polygon;
  for (std::size_t p = 0; p < polygons; ++p) {
    polygon.clear();
    const int n = size(rng);
    for (int i = 0; i < n; ++i) {
      polygon.push_back(spacing * pick(rng));
    }
    m.add_polygon(polygon);
  }
  return m;
}

struct RandomCase {
  unsigned seed;
  std::size_t points;
  std::size_t polygons;
  BuildOptions options;
  std::uint32_t spacing = 1;
};

void PrintTo(const RandomCase &c, std::ostream *out) {
  *out << "seed " << c.seed << ", " << c.points << " points, " << c.polygons
       << " polygons, threshold " << c.options.cos_threshold << ", open_edge "
       << c.options.open_edge << ", use_deform " << c.options.use_deform << ", edge_kind "
       << c.options.edge_kind << ", point spacing " << c.spacing;
}

class RandomMeshes : public ::testing::TestWithParam<RandomCase> {};

TEST_P(RandomMeshes, IndexedBuildMatchesTheObviousBuildExactly) {
  const RandomCase &c = GetParam();
  BuiltMesh built(random_mesh(c.seed, c.points, c.polygons, c.spacing), c.options);
  ASSERT_NE(built.database, nullptr);
  const EdgeSnapshot reference = reference_snapshot(built.object, c.options);
  ASSERT_FALSE(reference.points.empty());
  expect_same(snapshot(*built.database), reference);
  expect_thinned_as_reference(built.object.mesh(), c.options, reference);
}

std::vector<RandomCase> random_cases() {
  std::vector<RandomCase> cases;
  const BuildOptions option_sets[] = {
      {kCos89_5, 0, 0}, {kCos89_5, 1, 0}, {1.0, 1, 0},         {0.0, 1, 0},
      {-1.0, 1, 0},     {0.5, 1, 1},      {kCos89_5, 0, 1},    {kCos89_5, 0, 0, 1},
      {0.5, 1, 1, 2},   {0.0, 1, 0, 2},   {kCos89_5, 1, 0, 3}, {-2.0, 0, 0},
  };
  unsigned seed = 1;
  for (const BuildOptions &options : option_sets) {
    // Few points: crowded, non-manifold; more points: mostly open sides.
    cases.push_back({seed++, 6, 40, options});
    cases.push_back({seed++, 12, 200, options});
    cases.push_back({seed++, 60, 300, options});
    // Hundreds of uses per point: the long lists' neighbour search.
    cases.push_back({seed++, 8, 600, options});
  }
  // Few of many points used: keys too thinly spread to be counted in place;
  // every other point used: keys two apart.
  for (const BuildOptions &options : option_sets) {
    cases.push_back({seed++, 3000, 60, options});
    cases.push_back({seed++, 60, 300, options, 2});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomMeshes, ::testing::ValuesIn(random_cases()));

TEST(BoxFieldBuild, IndexedBuildMatchesTheObviousBuildExactly) {
  for (int subdivisions : {1, 2, 3}) {
    host::BoxFieldOptions options;
    options.boxes = 40;
    options.subdivisions = subdivisions;
    options.open_every = 3;
    for (std::int32_t open : {0, 1}) {
      BuiltMesh built(host::box_field(options), {kCos89_5, open, 0});
      ASSERT_NE(built.database, nullptr);
      expect_same(snapshot(*built.database), reference_snapshot(built.object, {kCos89_5, open, 0}));
    }
  }
}

// Points of many uses: a polygon visiting its hub at every other corner, hub
// grids (with quads and one polygon holding hubs apart, or seven hubs common
// to every polygon), cards after boxes.
TEST(UnusualMeshesBuild, IndexedBuildMatchesTheObviousBuildExactly) {
  for (const host::Mesh &mesh : {hub_polygon_fan(40), hub_grid(20), hub_grid(20, true),
                                 hub_grid(20, false, 7), boxes_then_cards(8)}) {
    for (const BuildOptions &options : {BuildOptions{kCos89_5, 1, 0}, BuildOptions{0.5, 0, 0, 1},
                                        BuildOptions{kCos89_5, 1, 0, 2}}) {
      BuiltMesh built(mesh, options);
      expect_same_as_reference(built, options);
    }
  }
}

TEST(BoxFieldBuild, HasTwelveSharpEdgesPerBoxAndOpenRimsOnLidlessBoxes) {
  host::BoxFieldOptions options;
  options.boxes = 14;
  options.subdivisions = 2;
  options.open_every = 7;  // boxes 6 and 13 have no lid
  EXPECT_EQ(host::box_field_polygon_count(options), 14u * 24u - 2u * 4u);
  BuiltMesh built(host::box_field(options), {kCos89_5, 1, 0});
  ASSERT_NE(built.database, nullptr);
  EXPECT_EQ(built.object.mesh().polygon_count(), host::box_field_polygon_count(options));
  std::size_t sharp = 0;
  std::size_t open = 0;
  for (const EdgeRecord &e : built.edges()) {
    (e.is_open ? open : sharp) += 1;
  }
  // Each box edge is split in two; a lidless box loses its four top edges as
  // sharp ones and gains them (split) as open ones.
  EXPECT_EQ(sharp, 12u * 2u * 12u + 2u * 8u * 2u);
  EXPECT_EQ(open, 2u * 4u * 2u);
}

}  // namespace
}  // namespace korv::testing
