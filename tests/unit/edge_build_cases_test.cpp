// Exact results of the edge build on meshes small enough to work out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "edge_test_support.h"
#include "host/builtin_meshes.h"
#include "tests/e2e/generated_meshes.h"

namespace korv::testing {
namespace {

using host::Mesh;
using host::point_id;
using host::polygon_id;

const double kHalfRoot2 = std::sqrt(0.5);

Mesh right_angle_quads() {
  Mesh m;
  m.add_point(0, 0, 1);         // 0
  m.add_point(1, 0, 1);         // 1
  m.add_point(1, 1, 1);         // 2
  m.add_point(0, 1, 1);         // 3
  m.add_point(0, 0, 0);         // 4
  m.add_point(1, 0, 0);         // 5
  m.add_polygon({0, 1, 2, 3});  // normal (0, 0, 1)
  m.add_polygon({1, 0, 4, 5});  // normal (0, -1, 0)
  return m;
}

void expect_edge(const EdgeRecord &e, std::size_t a, std::size_t b, Vec3 normal, int is_open) {
  EXPECT_EQ(e.point_a, point_id(a));
  EXPECT_EQ(e.point_b, point_id(b));
  EXPECT_NEAR(e.normal.x, normal.x, 1e-15);
  EXPECT_NEAR(e.normal.y, normal.y, 1e-15);
  EXPECT_NEAR(e.normal.z, normal.z, 1e-15);
  EXPECT_EQ(e.is_open, is_open);
}

std::vector<std::size_t> edge_indices(const BuiltMesh &b, std::size_t point) {
  std::vector<std::size_t> out;
  const PointRecord *r = b.point(point);
  for (std::int32_t i = 0; r != nullptr && i < r->edge_count; ++i) {
    out.push_back(b.edge_index(r->edges[std::size_t(i)]));
  }
  return out;
}

std::vector<LWPolID> polygons_of(const BuiltMesh &b, std::size_t point) {
  const PointRecord *r = b.point(point);
  return r == nullptr ? std::vector<LWPolID>{}
                      : std::vector<LWPolID>(r->polygons, r->polygons + r->polygon_fill);
}

TEST(EdgeBuildCases, RightAngleQuadsGiveOneSharpEdgeListedAtBothEnds) {
  BuiltMesh b(right_angle_quads());
  ASSERT_NE(b.database, nullptr);
  ASSERT_EQ(b.edges().size(), 1u);
  expect_edge(b.edges()[0], 0, 1, {0, -kHalfRoot2, kHalfRoot2}, 0);
  EXPECT_EQ(edge_indices(b, 0), std::vector<std::size_t>{0});
  EXPECT_EQ(edge_indices(b, 1), std::vector<std::size_t>{0});
  for (std::size_t p : {2, 3, 4, 5}) {
    EXPECT_EQ(edge_indices(b, p), std::vector<std::size_t>{}) << "point " << p;
  }
  EXPECT_EQ(polygons_of(b, 0), (std::vector<LWPolID>{polygon_id(0), polygon_id(1)}));
  EXPECT_EQ(polygons_of(b, 2), (std::vector<LWPolID>{polygon_id(0)}));
}

TEST(EdgeBuildCases, RightAngleQuadsWithOpenEdgesGiveTheSixOtherSidesInScanOrder) {
  BuiltMesh b(right_angle_quads(), {kCos89_5, 1, 0});
  ASSERT_NE(b.database, nullptr);
  ASSERT_EQ(b.edges().size(), 7u);
  expect_edge(b.edges()[0], 0, 1, {0, -kHalfRoot2, kHalfRoot2}, 0);
  expect_edge(b.edges()[1], 1, 2, {1, 0, 0}, 1);
  expect_edge(b.edges()[2], 2, 3, {0, 1, 0}, 1);
  expect_edge(b.edges()[3], 3, 0, {-1, 0, 0}, 1);
  // The second quad's side (1, 0) is the first edge reversed: skipped.
  expect_edge(b.edges()[4], 0, 4, {-1, 0, 0}, 1);
  expect_edge(b.edges()[5], 4, 5, {0, 0, -1}, 1);
  expect_edge(b.edges()[6], 5, 1, {1, 0, 0}, 1);
  EXPECT_EQ(edge_indices(b, 0), (std::vector<std::size_t>{0, 3, 4}));
  EXPECT_EQ(edge_indices(b, 1), (std::vector<std::size_t>{0, 1, 6}));
  EXPECT_EQ(edge_indices(b, 4), (std::vector<std::size_t>{4, 5}));
}

TEST(EdgeBuildCases, CubeEdgeNormalsBisectTheirFaceNormals) {
  Mesh cube;
  ASSERT_TRUE(host::builtin_mesh("cube", cube));
  BuiltMesh b(cube, {kCos89_5, 1, 0});
  ASSERT_NE(b.database, nullptr);
  ASSERT_EQ(b.edges().size(), 12u);
  for (const EdgeRecord &e : b.edges()) {
    EXPECT_EQ(e.is_open, 0);
    // Both ends lie on two faces; the normal is the sum of those two axis
    // normals, normalised: two components of +-1/sqrt(2), pointing outwards.
    const auto &pa = b.object.mesh().points[host::point_index(e.point_a)];
    const auto &pb = b.object.mesh().points[host::point_index(e.point_b)];
    const double mid[3] = {(pa[0] + pb[0]) / 2.0, (pa[1] + pb[1]) / 2.0, (pa[2] + pb[2]) / 2.0};
    const double n[3] = {e.normal.x, e.normal.y, e.normal.z};
    for (int c = 0; c < 3; ++c) {
      EXPECT_DOUBLE_EQ(n[c], mid[c] * kHalfRoot2) << "component " << c;
    }
  }
  for (std::size_t p = 0; p < 8; ++p) {
    EXPECT_EQ(b.point(p)->polygon_count, 3);
    EXPECT_EQ(b.point(p)->edge_count, 3);
  }
}

TEST(EdgeBuildCases, DotProductEqualToTheThresholdIsSharp) {
  // Coplanar quads: the dot product is exactly 1.
  Mesh flat;
  for (int i = 0; i < 3; ++i) {
    flat.add_point(i, 0, 0);
    flat.add_point(i, 1, 0);
  }
  flat.add_polygon({0, 2, 3, 1});
  flat.add_polygon({2, 4, 5, 3});
  BuiltMesh at_zero_angle(flat, {1.0, 0, 0});
  ASSERT_EQ(at_zero_angle.edges().size(), 1u);
  expect_edge(at_zero_angle.edges()[0], 2, 3, {0, 0, 1}, 0);
  EXPECT_TRUE(BuiltMesh(flat, {std::cos(1e-3), 0, 0}).edges().empty());

  // Quads at a right angle: the dot product is exactly 0.
  EXPECT_EQ(BuiltMesh(right_angle_quads(), {0.0, 0, 0}).edges().size(), 1u);
  EXPECT_TRUE(BuiltMesh(right_angle_quads(), {-1e-300, 0, 0}).edges().empty());
}

TEST(EdgeBuildCases, FoldedPairSharesASharpEdgeWithAZeroNormal) {
  Mesh m;
  m.add_point(0, 0, 0);
  m.add_point(1, 0, 0);
  m.add_point(0, 1, 0);
  m.add_point(0.5, 1, 0);
  m.add_polygon({0, 1, 2});  // normal (0, 0, 1)
  m.add_polygon({1, 0, 3});  // normal (0, 0, -1)
  BuiltMesh b(m);
  ASSERT_EQ(b.edges().size(), 1u);
  expect_edge(b.edges()[0], 0, 1, {0, 0, 0}, 0);
  EXPECT_EQ(b.edges()[0].normal, (Vec3{0, 0, 0}));
}

Mesh degenerate_beside_triangle() {
  Mesh m;
  m.add_point(0, 0, 0);         // 0
  m.add_point(1, 0, 0);         // 1
  m.add_point(1, 1, 0);         // 2
  m.add_point(-1, 0, 0);        // 3: corners 0, 1 and 3 are collinear
  m.add_point(0, 0, 1);         // 4
  m.add_polygon({0, 1, 2, 3});  // zero normal
  m.add_polygon({1, 0, 4});     // normal (0, 1, 0)
  return m;
}

TEST(EdgeBuildCases, DegeneratePolygonIsSharpAgainstAnyNeighbourAtAThresholdOfZeroOrMore) {
  BuiltMesh sharp(degenerate_beside_triangle(), {0.0, 0, 0});
  ASSERT_EQ(sharp.edges().size(), 1u);
  expect_edge(sharp.edges()[0], 0, 1, {0, 1, 0}, 0);
  EXPECT_EQ(BuiltMesh(degenerate_beside_triangle(), {kCos89_5, 0, 0}).edges().size(), 1u);
  EXPECT_TRUE(BuiltMesh(degenerate_beside_triangle(), {-0.5, 0, 0}).edges().empty());
}

TEST(EdgeBuildCases, DegeneratePolygonsOpenSidesHaveZeroNormals) {
  BuiltMesh b(degenerate_beside_triangle(), {-0.5, 1, 0});
  ASSERT_EQ(b.edges().size(), 5u);
  for (std::size_t k : {0, 1, 2}) {
    expect_edge(b.edges()[k], std::vector<std::size_t>{1, 2, 3}[k],
                std::vector<std::size_t>{2, 3, 0}[k], {0, 0, 0}, 1);
  }
}

// Side (0, 1) is shared by four triangles, scanned in this order: F1 and F2
// are coplanar, F3 and F4 stand at right angles to F1.
Mesh four_polygons_on_one_side() {
  Mesh m;
  m.add_point(0, 0, 0);      // 0: a
  m.add_point(1, 0, 0);      // 1: b
  m.add_point(0, 1, 0);      // 2
  m.add_point(0, -1, 0);     // 3
  m.add_point(0, 0, 1);      // 4
  m.add_point(0, 0, -1);     // 5
  m.add_polygon({0, 1, 2});  // F1 (0, 0, 1)
  m.add_polygon({1, 0, 3});  // F2 (0, 0, 1)
  m.add_polygon({0, 1, 4});  // F3 (0, -1, 0)
  m.add_polygon({1, 0, 5});  // F4 (0, -1, 0)
  return m;
}

TEST(EdgeBuildCases, SideOfManyPolygonsComparesEachWithTheFirstOtherAtItsCorner) {
  // F1 meets F2 and F2 meets F1 (not sharp); F3 meets F1 (sharp: recorded
  // with F3's corner order); F4 meets F1 (sharp, but a duplicate).
  BuiltMesh b(four_polygons_on_one_side());
  ASSERT_EQ(b.edges().size(), 1u);
  expect_edge(b.edges()[0], 0, 1, {0, -kHalfRoot2, kHalfRoot2}, 0);
  EXPECT_EQ(polygons_of(b, 0),
            (std::vector<LWPolID>{polygon_id(0), polygon_id(1), polygon_id(2), polygon_id(3)}));
}

TEST(EdgeBuildCases, PolygonWithBothEndsApartCountsAsTheNeighbour) {
  Mesh m;
  m.add_point(0, 0, 0);         // 0: a
  m.add_point(1, 0, 0);         // 1: b
  m.add_point(0, 1, 0);         // 2
  m.add_point(0.5, 0, -1);      // 3
  m.add_point(0.5, 0, 1);       // 4
  m.add_polygon({0, 1, 2});     // normal (0, 0, 1)
  m.add_polygon({0, 3, 1, 4});  // a and b are opposite corners; normal (0, -1, 0)
  BuiltMesh b(m);
  ASSERT_EQ(b.edges().size(), 1u);
  expect_edge(b.edges()[0], 0, 1, {0, -kHalfRoot2, kHalfRoot2}, 0);
}

TEST(EdgeBuildCases, PolygonsOfOneAndTwoVerticesAreIgnored) {
  Mesh m;
  m.add_point(0, 0, 0);
  m.add_point(1, 0, 0);
  m.add_point(0, 1, 0);
  m.add_point(5, 5, 5);  // used only by a one-vertex polygon
  m.add_polygon({3});
  m.add_polygon({0, 1});  // lies on the triangle's first side
  m.add_polygon({0, 1, 2});
  m.add_polygon({2});
  BuiltMesh b(m, {kCos89_5, 1, 0});
  ASSERT_EQ(b.edges().size(), 3u);
  expect_edge(b.edges()[0], 0, 1, {0, -1, 0}, 1);
  expect_edge(b.edges()[1], 1, 2, {kHalfRoot2, kHalfRoot2, 0}, 1);
  expect_edge(b.edges()[2], 2, 0, {-1, 0, 0}, 1);
  EXPECT_EQ(b.database->points.size(), 3u);
  EXPECT_EQ(b.point(3), nullptr);
  for (std::size_t p = 0; p < 3; ++p) {
    EXPECT_EQ(polygons_of(b, p), std::vector<LWPolID>{polygon_id(2)});
  }
}

TEST(EdgeBuildCases, ObjectWithoutPolygonsOfThreeVerticesGivesAnEmptyDatabase) {
  Mesh m;
  m.add_point(0, 0, 0);
  m.add_point(1, 0, 0);
  m.add_polygon({0, 1});
  m.add_polygon({0});
  BuiltMesh b(m, {kCos89_5, 1, 0});
  ASSERT_NE(b.database, nullptr);
  EXPECT_TRUE(b.database->points.empty());
  ASSERT_NE(b.database->edge_list, nullptr);
  EXPECT_TRUE(b.edges().empty());
  EXPECT_EQ(b.cache.databases.size(), 1u);
}

TEST(EdgeBuildCases, PointListedTwiceCountsTwiceAndItsLoopEdgeIsListedOnce) {
  Mesh m;
  m.add_point(0, 0, 0);
  m.add_point(1, 0, 0);
  m.add_point(0, 1, 0);
  m.add_polygon({0, 1, 2, 0});  // sides 0-1, 1-2, 2-0 and 0-0
  BuiltMesh b(m, {kCos89_5, 1, 0});
  const PointRecord *r = b.point(0);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->polygon_count, 2);
  EXPECT_EQ(r->polygon_fill, 2);
  EXPECT_EQ(polygons_of(b, 0), (std::vector<LWPolID>{polygon_id(0), polygon_id(0)}));
  ASSERT_EQ(b.edges().size(), 4u);
  expect_edge(b.edges()[3], 0, 0, {0, 0, 0}, 1);
  EXPECT_EQ(edge_indices(b, 0), (std::vector<std::size_t>{0, 2, 3}));
}

TEST(EdgeBuildCases, NaNPositionsGiveZeroNormalsNeverNaN) {
  Mesh m;
  m.add_point(0, 0, 0);
  m.add_point(1, 0, 0);
  m.add_point(std::numeric_limits<double>::quiet_NaN(), 1, 0);
  m.add_point(0, -1, 0);
  m.add_polygon({0, 1, 2});
  m.add_polygon({1, 0, 3});
  BuiltMesh b(m, {kCos89_5, 1, 0});
  ASSERT_NE(b.database, nullptr);
  // The NaN triangle's normal normalises to zero, so its shared side is
  // sharp at this threshold, with the other triangle's normal as its own.
  ASSERT_EQ(b.edges().size(), 5u);
  expect_edge(b.edges()[0], 0, 1, {0, 0, 1}, 0);
  for (const EdgeRecord &e : b.edges()) {
    EXPECT_FALSE(std::isnan(e.normal.x) || std::isnan(e.normal.y) || std::isnan(e.normal.z));
  }
}

TEST(EdgeBuildCases, DeformedPositionsGiveTheNormalsOnlyWhenAskedFor) {
  Mesh m = right_angle_quads();
  // Deformed positions for three points tilt both quads.
  m.deformed.assign(m.points.begin(), m.points.end());
  m.deformed[4] = {1, 0, 1};
  m.deformed[5] = {1, 0, 0};
  m.deformed[0] = {1, 1, 2};
  BuiltMesh base(m, {kCos89_5, 1, 0});
  BuiltMesh deformed(m, {kCos89_5, 1, 1});
  ASSERT_EQ(snapshot(*base.database),
            snapshot(*BuiltMesh(right_angle_quads(), {kCos89_5, 1, 0}).database));
  EXPECT_NE(snapshot(*deformed.database), snapshot(*base.database));
  EXPECT_EQ(snapshot(*deformed.database), reference_snapshot(deformed.object, {kCos89_5, 1, 1}));
}

// Meshes whose outside (convex) and inside (concave) edges are known: how
// many sharp edges each kind keeps, the same as the reference build's.
struct KindCase {
  const char *name;
  Mesh (*mesh)();
  std::size_t both, outside, inside;
};

void PrintTo(const KindCase &c, std::ostream *out) {
  *out << c.name;
}

class EdgeKinds : public ::testing::TestWithParam<KindCase> {};

TEST_P(EdgeKinds, EachKindKeepsItsEdgesAsTheReferenceDoes) {
  const KindCase &c = GetParam();
  const std::size_t expected[3] = {c.both, c.outside, c.inside};
  for (std::int32_t kind : {0, 1, 2}) {
    SCOPED_TRACE("edge_kind " + std::to_string(kind));
    const BuildOptions options{kCos89_5, 0, 0, kind};
    BuiltMesh built(c.mesh(), options);
    expect_same_as_reference(built, options);
    EXPECT_EQ(built.edges().size(), expected[kind]);
  }
}

// The L's turn is its one inside edge, also where the polygons' corner 0 is
// not next to it; a wall wound the other way makes its four edges undecided,
// kept by "Both" only. The pocket's floor and corners are inside edges.
INSTANTIATE_TEST_SUITE_P(Meshes, EdgeKinds,
                         ::testing::Values(KindCase{"L prism", [] { return l_prism(); }, 18, 17, 1},
                                           KindCase{"L prism, one wall flipped",
                                                    [] { return l_prism(true); }, 18, 13, 1},
                                           KindCase{"pocketed block", pocketed_block, 44, 36, 8}));

}  // namespace
}  // namespace korv::testing
